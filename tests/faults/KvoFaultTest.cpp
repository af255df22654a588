// Faults met by the kvo program: a temporary directory it cannot write in,
// and files that fill up (a file-size limit, as a full disk). Each ends with
// exit code 1 and a one-line message, never a crash, and leaves nothing in
// TMPDIR.
#include <gtest/gtest.h>

#include <algorithm>
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

TEST_F(KvoFaultTest, FilesThatFillUpEndTheRunWithAMessage) {
  const std::string tmp = fScratch / "tmp";
  ASSERT_TRUE(std::filesystem::create_directory(tmp));
  // 16 KiB: less than the sorted record file in TMPDIR (about 130 KiB) and
  // the text file written from it under --out; the text file's failed write
  // is the one reported.
  const KvoResult run = RunKvo(fScratch,
                            {"prepare", SAMPLE, "--cat", "gender,occupation", "--cont", "age,income", "--sort-by",
                             "age", "--out", fScratch / "out"},
                            tmp, rlim_t{16} << 10);
  EXPECT_EQ(run.fExitCode, 1) << run.fErr;
  EXPECT_EQ(Lines(run.fErr), 1) << run.fErr;
  EXPECT_NE(run.fErr.find("records.txt: cannot write the record file"), std::string::npos) << run.fErr;
  EXPECT_TRUE(run.fLeftInTmp.empty()) << "left in TMPDIR: " << kvo_test::Joined(run.fLeftInTmp);
}

}  // namespace
