// Faults met by the kvo program: a temporary directory it cannot write in,
// and files that fill up (a file-size limit, as a full disk). Each ends with
// exit code 1 and a one-line message, never a crash, and leaves nothing in
// TMPDIR.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/KvoProcess.h"

namespace {

using kvo_test::KvoProcess;
using kvo_test::KvoResult;

const std::string SAMPLE = std::string(KVO_SOURCE_DIR) + "/data/sample/sample.csv";

KvoResult RunKvo(const kvo_test::ScratchDirectory& scratch, const std::vector<std::string>& args,
                 const std::string& tmpDir, rlim_t fileSizeLimit = 0) {
  KvoProcess process(scratch, args);
  process.SetTmpDir(tmpDir);
  process.SetFileSizeLimit(fileSizeLimit);
  process.Start();
  return process.Wait();
}

long Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

class KvoFaultTest : public ::testing::Test {
 protected:
  kvo_test::ScratchDirectory fScratch;
};

TEST_F(KvoFaultTest, TemporaryDirectoryThatCannotBeWrittenIsReported) {
  // TMPDIR names a file, and a directory that does not exist.
  std::ofstream(fScratch / "not-a-directory") << "x";
  for (const std::string& tmp : {fScratch / "not-a-directory", fScratch / "absent"}) {
    SCOPED_TRACE(tmp);
    const KvoResult run =
        RunKvo(fScratch, {"prepare", SAMPLE, "--cat", "gender", "--cont", "age", "--sort-by", "age"}, tmp);
    EXPECT_EQ(run.fExitCode, 1) << run.fErr;
    EXPECT_EQ(Lines(run.fErr), 1) << run.fErr;
    EXPECT_NE(run.fErr.find(tmp), std::string::npos) << run.fErr;
  }
}

// A real full file system: a 64 KiB tmpfs as TMPDIR (root only; skipped
// where it cannot be mounted).
TEST_F(KvoFaultTest, FullTemporaryFileSystemEndsTheRunAndLeavesOutAsItWas) {
  const std::string tmp = fScratch / "small";
  ASSERT_TRUE(std::filesystem::create_directory(tmp));
  if (mount("tmpfs", tmp.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << "): needs root";
  }
  struct Unmount {
    std::string fPath;
    ~Unmount() { umount2(fPath.c_str(), MNT_DETACH); }
  } unmount{tmp};
  const std::string out = fScratch / "out";
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, {"--partition", "50,50"}, {"--partition", "70,30", "--folds", "5"}}) {
    std::vector<std::string> args = {"prepare", SAMPLE,       "--cat", "gender,occupation",
                                     "--cont",  "age,income", "--out", out};
    args.insert(args.end(), options.begin(), options.end());
    SCOPED_TRACE(kvo_test::Joined(options));
    const KvoResult run = RunKvo(fScratch, args, tmp);
    EXPECT_EQ(run.fExitCode, 1) << run.fErr;
    EXPECT_EQ(Lines(run.fErr), 1) << run.fErr;
    EXPECT_NE(run.fErr.find(tmp + ": No space left on device"), std::string::npos) << run.fErr;
    EXPECT_TRUE(run.fLeftInTmp.empty()) << "left in TMPDIR: " << kvo_test::Joined(run.fLeftInTmp);
    EXPECT_FALSE(std::filesystem::exists(out)) << "no output of a failed run";
  }
}

// A report that cannot be written whole: a file-size limit, and a full
// file system (root only). The run ends with exit 1 and leaves no report,
// not even a partial one, and no temporary file beside it.
TEST_F(KvoFaultTest, ReportThatCannotBeWrittenLeavesNoFile) {
  const std::string people = std::string(KVO_TEST_DATA_DIR) + "/kvo/people.csv";
  const std::string out = fScratch / "out";
  ASSERT_TRUE(std::filesystem::create_directory(fScratch / "tmp"));
  const KvoResult prepared = RunKvo(
      fScratch, {"prepare", people, "--cat", "region", "--cont", "age", "--out", out}, fScratch / "tmp");
  ASSERT_EQ(prepared.fExitCode, 0) << prepared.fErr;
  const std::string small = fScratch / "small";
  ASSERT_TRUE(std::filesystem::create_directory(small));
  const bool mounted = mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4k") == 0;
  struct Unmount {
    std::string fPath;
    bool fbMounted;
    ~Unmount() {
      if (fbMounted) umount2(fPath.c_str(), MNT_DETACH);
    }
  } unmount{small, mounted};
  struct Case {
    std::string fDirectory;
    rlim_t fLimit;
    std::string fReason;
  };
  std::vector<Case> cases = {{fScratch.Path(), rlim_t{4} << 10, "File too large"}};
  if (mounted) cases.push_back({small, 0, "No space left on device"});
  for (const Case& c : cases) {
    const std::string page = c.fDirectory + "/r.html";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"prepare", people, "--cat", "region", "--cont", "age", "--report", page},
          {"report", out + "/summary.json", page}}) {
      SCOPED_TRACE(kvo_test::Joined(args));
      const KvoResult run = RunKvo(fScratch, args, fScratch / "tmp", c.fLimit);
      EXPECT_EQ(run.fExitCode, 1) << run.fErr;
      EXPECT_EQ(Lines(run.fErr), 1) << run.fErr;
      EXPECT_NE(run.fErr.find(page + ": cannot write the report: " + c.fReason), std::string::npos)
          << run.fErr;
      EXPECT_TRUE(run.fLeftInTmp.empty()) << "left in TMPDIR: " << kvo_test::Joined(run.fLeftInTmp);
      for (const auto& entry : std::filesystem::directory_iterator(c.fDirectory)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name != "r.html" && name.rfind(".r.html", 0) != 0) << "left: " << entry.path();
      }
    }
  }
}

TEST_F(KvoFaultTest, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
  // Opening a FIFO without a writer would block for ever; a device never
  // ends. (The data may come through a FIFO: the interruption test does so.)
  const std::string fifo = fScratch / "schema.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string schema = std::string(KVO_SOURCE_DIR) + "/data/sample/sample.schema.json";
  const std::vector<std::vector<std::string>> runs = {
      {"describe", SAMPLE, "--schema", fifo},
      {"score", SAMPLE, "--model", fifo},
      {"describe", "/dev/zero", "--schema", schema},
  };
  for (const std::vector<std::string>& args : runs) {
    SCOPED_TRACE(kvo_test::Joined(args));
    const KvoResult run = RunKvo(fScratch, args, fScratch / "tmp");
    EXPECT_EQ(run.fExitCode, 1) << run.fErr;
    EXPECT_EQ(Lines(run.fErr), 1) << run.fErr;
    EXPECT_NE(run.fErr.find("give a regular file"), std::string::npos) << run.fErr;
  }
}

TEST_F(KvoFaultTest, FilesThatFillUpEndTheRunAndLeaveOutAsItWas) {
  // A file-size limit stands for a full disk. The sorted record file in
  // TMPDIR takes 141 KiB and the text written from it under --out 189 KiB:
  // 16 KiB stops the temporary file, 160 KiB the text file.
  struct Case {
    rlim_t limit;
    std::vector<std::string> options;
    std::string message;
  };
  const std::string tmp = fScratch / "tmp";
  const std::string out = fScratch / "out";
  ASSERT_TRUE(std::filesystem::create_directory(tmp));
  const std::vector<std::string> base = {"prepare", SAMPLE,       "--cat", "gender,occupation",
                                         "--cont",  "age,income", "--out", out};
  const std::vector<Case> cases = {
      {rlim_t{16} << 10,
       {"--sort-by", "age"},
       "cannot write a temporary record file in " + tmp + ": File too large"},
      {rlim_t{160} << 10,
       {"--sort-by", "age"},
       "all/records.txt: cannot write the record file: File too large"},
      {rlim_t{16} << 10, {"--partition", "50,50"}, "cannot write a temporary record file in " + tmp},
      {rlim_t{16} << 10,
       {"--partition", "50,50", "--folds", "5"},
       "cannot write a temporary record file in " + tmp},
  };
  // An earlier run's output, which a failed run must leave as it was.
  const KvoResult first = RunKvo(fScratch, base, tmp);
  ASSERT_EQ(first.fExitCode, 0) << first.fErr;
  const std::string summary = kvo_test::ReadFile(out + "/summary.json");
  for (const Case& c : cases) {
    std::vector<std::string> args = base;
    args.insert(args.end(), c.options.begin(), c.options.end());
    SCOPED_TRACE(kvo_test::Joined(c.options) + " with " + std::to_string(c.limit) + " bytes");
    const KvoResult run = RunKvo(fScratch, args, tmp, c.limit);
    EXPECT_EQ(run.fExitCode, 1) << run.fErr;
    EXPECT_EQ(Lines(run.fErr), 1) << run.fErr;
    EXPECT_NE(run.fErr.find(c.message), std::string::npos) << run.fErr;
    EXPECT_TRUE(run.fLeftInTmp.empty()) << "left in TMPDIR: " << kvo_test::Joined(run.fLeftInTmp);
    EXPECT_EQ(kvo_test::ReadFile(out + "/summary.json"), summary);
    for (const auto& entry : std::filesystem::directory_iterator(fScratch.Path())) {
      EXPECT_NE(entry.path().filename().string().rfind(".out", 0), 0u)
          << "left beside --out: " << entry.path();
    }
  }
}

}  // namespace
