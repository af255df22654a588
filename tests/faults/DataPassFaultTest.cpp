// A fatal host error in the middle of a data pass whose records stream into
// a temporary data file, sorted or not: the pass ends with fail reason 3,
// the fill fails with it, and the file goes with its iterator; nothing is
// left in TMPDIR (leaks show under LeakSanitizer).
#include <gtest/gtest.h>
#include <kvoadapter/KVODataFileIter.h>
#include <kvoadapter/KVOInputAdapter.h>
#include <kvoadapter/KVOProcDataSourceIter.h>
#include <kvoadapter/KVOVarValidSpecs.h>

#include <memory>
#include <string>
#include <vector>

#include "standin/HostControl.h"
#include "standin/MemoryDataSource.h"
#include "support/TempDirWatch.h"

namespace {

class DataPassFaultTest : public kvo_test::TempDirCheckedTest {
 protected:
  void SetUp() override {
    standin::SetEchoMessages(false);
    standin::SetAssertHandler([](const standin::AssertReport&) {});
    standin::ClearAssertReports();
  }
  void TearDown() override {
    standin::SetAssertHandler({});
    standin::SetEchoMessages(true);
    TempDirCheckedTest::TearDown();
  }
};

TEST_F(DataPassFaultTest, FatalHostErrorWhileFillingADataFileFailsTheFillAndLeavesNoFile) {
  constexpr int64_t CASES = 2000;
  constexpr int64_t FATAL_CASE = 1200;
  standin::MemoryDataSource ds;
  const int income = ds.AddNumeric("income");
  for (int64_t k = 1; k <= CASES; ++k) {
    ds.AddCase();
    // The host's error shows when the iterator rejects a case: this one.
    ds.SetNumber(income, k == FATAL_CASE ? VORM_SYSMIS : static_cast<double>((k * 37) % 101));
  }
  KVOVarValidSpecs specs;
  specs.AddVariable(income, false, false, true, false);

  for (bool sorted : {false, true}) {
    SCOPED_TRACE(sorted ? "sorted" : "unsorted");
    ds.SetFatalErrorAtCase(FATAL_CASE);
    {
      KVOInputAdapter adapter(&specs, ds);
      KVOProcDataSourceIter pass(adapter, true);
      std::unique_ptr<KVODataFileIter> file =
          sorted ? std::make_unique<KVODataFileIter>(adapter, std::vector<int>{0}, 0)
                 : std::make_unique<KVODataFileIter>(adapter);
      ASSERT_TRUE(file->HasValidTempFile());
      EXPECT_FALSE(file->FillDataFile(pass));
      EXPECT_EQ(pass.GetFailReason(), 3);
      EXPECT_EQ(file->GetFailReason(), 3);
      EXPECT_TRUE(ds.FatalError());
      const std::vector<std::string> present = fWatch.NewEntries();
      ASSERT_EQ(present.size(), 1u) << kvo_test::JoinNames(present);
      EXPECT_EQ(standin::TempDirectory() + "/" + present[0], file->GetFileName());
    }
    EXPECT_TRUE(fWatch.NewEntries().empty()) << kvo_test::JoinNames(fWatch.NewEntries());
  }
}

}  // namespace
