// Faults met by the kvo program: a temporary directory it cannot write in,
// and files that fill up (a file-size limit, as a full disk). Each ends with
// exit code 1 and a one-line message, never a crash, and leaves nothing in
// TMPDIR.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDirWatch.h"

namespace {

const std::string SAMPLE = std::string(KVO_SOURCE_DIR) + "/data/sample/sample.csv";

struct Outcome {
  int fExitCode = -1;  // 128 + the signal for a program that was killed
  std::string fErr;
};

// Runs kvo with TMPDIR set to `tmpDir` and, when `fileSizeLimit` > 0, that
// limit on the size of every file it writes (the signal for going beyond it
// keeps its default action, which ends the program unless it sets another).
Outcome RunKvo(const std::string& tmpDir, const std::vector<std::string>& args, const std::string& errPath,
               rlim_t fileSizeLimit = 0) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("TMPDIR", tmpDir.c_str(), 1);
    signal(SIGXFSZ, SIG_DFL);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(err, 2);
    if (fileSizeLimit > 0) {
      rlimit limit{};
      getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = fileSizeLimit;
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<std::string> argv{KVO_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& arg : argv) raw.push_back(arg.data());
    raw.push_back(nullptr);
    execv(raw[0], raw.data());
    _exit(127);
  }
  Outcome outcome;
  int status = 0;
  waitpid(pid, &status, 0);
  outcome.fExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::ifstream in(errPath);
  std::ostringstream text;
  text << in.rdbuf();
  outcome.fErr = text.str();
  return outcome;
}

size_t Lines(const std::string& text) {
  size_t lines = 0;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  return lines;
}

class KvoFaultTest : public kvo_test::TempDirCheckedTest {
 protected:
  std::string Path(const std::string& name) const { return fTempDir.Path() + "/" + name; }
};

TEST_F(KvoFaultTest, TemporaryDirectoryThatCannotBeWrittenIsReported) {
  // TMPDIR names a file, and a directory that does not exist.
  std::ofstream(Path("not-a-directory")) << "x";
  for (const std::string& tmp : {Path("not-a-directory"), Path("absent")}) {
    SCOPED_TRACE(tmp);
    const Outcome run = RunKvo(
        tmp, {"prepare", SAMPLE, "--cat", "gender", "--cont", "age", "--sort-by", "age"}, Path("stderr"));
    EXPECT_EQ(run.fExitCode, 1) << run.fErr;
    EXPECT_EQ(Lines(run.fErr), 1u) << run.fErr;
    EXPECT_NE(run.fErr.find(tmp), std::string::npos) << run.fErr;
  }
  std::remove(Path("not-a-directory").c_str());
  std::remove(Path("stderr").c_str());
}

TEST_F(KvoFaultTest, FilesThatFillUpEndTheRunWithAMessage) {
  const std::string tmp = Path("tmp");
  ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
  const std::vector<std::string> prepare{"prepare", SAMPLE,       "--cat",     "gender,occupation",
                                         "--cont",  "age,income", "--sort-by", "age",
                                         "--out",   Path("out")};
  // 16 KiB: less than the sorted record file in TMPDIR (about 130 KiB) and
  // the text file written from it under --out; the text file's failed write
  // is the one reported.
  const Outcome run = RunKvo(tmp, prepare, Path("stderr"), rlim_t{16} << 10);
  EXPECT_EQ(run.fExitCode, 1) << run.fErr;
  EXPECT_EQ(Lines(run.fErr), 1u) << run.fErr;
  EXPECT_NE(run.fErr.find("records.txt: cannot write the record file"), std::string::npos) << run.fErr;
  const std::set<std::string> left = kvo_test::ListDirectory(tmp);
  EXPECT_TRUE(left.empty()) << "left in TMPDIR: " << *left.begin();
  std::filesystem::remove_all(Path("out"));
  std::filesystem::remove_all(tmp);
  std::remove(Path("stderr").c_str());
}

}  // namespace
