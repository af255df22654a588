// Runs the built kvo program (KVO_BINARY) for the end-to-end and fault
// tests: each run gets a fresh empty TMPDIR inside the test's scratch
// directory (or the one it is given), optionally a limit on the size of the
// files it writes; its standard output and error are captured, and whatever
// it leaves in TMPDIR is listed afterwards. Single-threaded test use.
#ifndef KVO_TESTS_SUPPORT_KVOPROCESS_H
#define KVO_TESTS_SUPPORT_KVOPROCESS_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kvo_test {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

struct KvoResult {
  int fExitCode = -1;
  std::string fOut;
  std::string fErr;
  std::vector<std::string> fLeftInTmp;  // entries left in the run's TMPDIR
};

// A directory for one test, removed with its contents at the end.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/kvo_e2e_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create " << pattern;
    fPath = pattern;
  }
  ~ScratchDirectory() {
    std::error_code error;
    std::filesystem::remove_all(fPath, error);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& Path() const { return fPath; }
  std::string operator/(const std::string& name) const { return fPath + "/" + name; }

 private:
  std::string fPath;
};

// One kvo process. Start it, optionally act on it (signals, FIFOs), Wait.
class KvoProcess {
 public:
  KvoProcess(const ScratchDirectory& scratch, std::vector<std::string> args) : fArgs(std::move(args)) {
    static int runs = 0;
    const std::string id = std::to_string(++runs);
    fTmpDir = scratch / ("tmp-" + id);
    fOutPath = scratch / ("stdout-" + id);
    fErrPath = scratch / ("stderr-" + id);
    std::filesystem::create_directory(fTmpDir);
  }
  KvoProcess(const KvoProcess&) = delete;
  KvoProcess& operator=(const KvoProcess&) = delete;

  // Before Start: TMPDIR for the run (need not exist), and a limit on the
  // size of every file it writes (going beyond it raises the signal with its
  // default action, which ends the program unless it sets another).
  void SetTmpDir(const std::string& path) { fTmpDir = path; }
  void SetFileSizeLimit(rlim_t bytes) { fFileSizeLimit = bytes; }
  // Standard output goes to `path` instead (a device such as /dev/full is
  // not read back: fOut stays empty).
  void SetStdout(const std::string& path) { fOutPath = path; }
  // Standard input comes from `path` instead of /dev/null.
  void SetStdin(const std::string& path) { fInPath = path; }

  void Start() {
    std::vector<std::string> argv{KVO_BINARY};
    argv.insert(argv.end(), fArgs.begin(), fArgs.end());
    fPid = fork();
    if (fPid == 0) {
      setenv("TMPDIR", fTmpDir.c_str(), 1);
      if (fFileSizeLimit > 0) {
        signal(SIGXFSZ, SIG_DFL);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = fFileSizeLimit;
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      int out = open(fOutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = open(fErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int in = open(fInPath.c_str(), O_RDONLY);
      dup2(out, 1);
      dup2(err, 2);
      dup2(in, 0);
      std::vector<char*> raw;
      for (std::string& arg : argv) raw.push_back(arg.data());
      raw.push_back(nullptr);
      execv(raw[0], raw.data());
      _exit(127);
    }
  }
  pid_t Pid() const { return fPid; }

  KvoResult Wait() {
    KvoResult result;
    int status = 0;
    waitpid(fPid, &status, 0);
    result.fExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (std::filesystem::is_regular_file(fOutPath)) result.fOut = ReadFile(fOutPath);
    result.fErr = ReadFile(fErrPath);
    std::error_code error;
    for (std::filesystem::directory_iterator it(fTmpDir, error), end; !error && it != end;
         it.increment(error)) {
      result.fLeftInTmp.push_back(it->path().filename().string());
    }
    return result;
  }

 private:
  std::vector<std::string> fArgs;
  std::string fTmpDir, fOutPath, fErrPath;
  std::string fInPath = "/dev/null";
  rlim_t fFileSizeLimit = 0;
  pid_t fPid = -1;
};

// Runs kvo to its end.
inline KvoResult RunKvo(const ScratchDirectory& scratch, const std::vector<std::string>& args) {
  KvoProcess process(scratch, args);
  process.Start();
  return process.Wait();
}

inline std::string Joined(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

}  // namespace kvo_test

#endif  // KVO_TESTS_SUPPORT_KVOPROCESS_H
