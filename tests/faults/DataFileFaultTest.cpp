// Faults while a temporary data file is being written: the user interrupts
// (through the host's poll countdown or a real SIGINT) while the records of
// a source stream into the file, sorted or not. The interruption leaves
// through the host's handler, the iterator's file goes when the iterator
// does, and nothing else is left in TMPDIR (leaks show under LeakSanitizer).
#include <gtest/gtest.h>
#include <kvoadapter/KVODataFileIter.h>
#include <vorm/Utility.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "standin/HostControl.h"
#include "support/SortingDataFileIter.h"
#include "support/TempDirWatch.h"

namespace {

using Rows = std::vector<std::vector<double>>;

// A source that can poll the host's attention flag before each record, as
// a source reading host cases does, and leave through the host's handler
// when an interruption is pending. It can raise SIGINT itself before a given
// record, as a user pressing Ctrl-C would. One thread; owns copies of its
// rows.
class PollingSource : public QorCommon::RecordIterator {
 public:
  PollingSource(Rows rows, int recordSize, bool polls, size_t signalBefore = SIZE_MAX)
      : fRows(std::move(rows)), fRecord(recordSize), fbPolls(polls), fSignalBefore(signalBefore) {}
  PollingSource(const PollingSource&) = delete;
  PollingSource& operator=(const PollingSource&) = delete;

  bool HasMore() const override { return fNext < fRows.size(); }
  const QorCommon::Record* Next() override {
    if (!HasMore()) return nullptr;
    if (fNext == fSignalBefore) std::raise(SIGINT);
    if (fbPolls) {
      int64_t pending = 0;
      ATNCHK(&pending);
      if (pending != 0) ATNJMP(Workspace());
    }
    const std::vector<double>& row = fRows[fNext++];
    for (int i = 0; i < fRecord.GetSize(); ++i) fRecord.GetAll()[i] = row[static_cast<size_t>(i)];
    return &fRecord;
  }
  int GetFailReason() const override { return HasMore() ? 0 : 1; }
  size_t Delivered() const { return fNext; }

 private:
  Rows fRows;
  QorCommon::Record fRecord;
  size_t fNext = 0;
  bool fbPolls;
  size_t fSignalBefore;
};

Rows Numbered(size_t count, int recordSize) {
  Rows rows(count, std::vector<double>(static_cast<size_t>(recordSize)));
  for (size_t r = 0; r < count; ++r) {
    for (int c = 0; c < recordSize; ++c)
      rows[r][static_cast<size_t>(c)] = static_cast<double>((r * 7919) % count + c);
  }
  return rows;
}

class DataFileFaultTest : public kvo_test::TempDirCheckedTest {
 protected:
  void TearDown() override {
    standin::InterruptAfterPolls(-1);
    standin::ClearInterrupt();
    standin::SetSortBudget(fSavedBudget);
    std::signal(SIGINT, SIG_DFL);
    TempDirCheckedTest::TearDown();
  }
  size_t fSavedBudget = standin::SortBudget();
};

TEST_F(DataFileFaultTest, InterruptionWhileWritingRecordsLeavesOnlyTheOwnersFileUntilItGoes) {
  constexpr int RECORD_SIZE = 6;
  const Rows rows = Numbered(3000, RECORD_SIZE);
  // The first poll, one in the middle, the last record's.
  for (int64_t polls : {0, 1500, 2999}) {
    SCOPED_TRACE(polls);
    {
      KVODataFileIter iter(RECORD_SIZE);
      ASSERT_TRUE(iter.HasValidTempFile());
      PollingSource source(rows, RECORD_SIZE, true);
      standin::InterruptAfterPolls(polls);
      EXPECT_THROW(iter.FillDataFile(source), standin::HostInterrupt);
      EXPECT_EQ(source.Delivered(), static_cast<size_t>(polls));
      EXPECT_FALSE(standin::InterruptPending()) << "the host consumed the interruption";
      const std::vector<std::string> present = fWatch.NewEntries();
      ASSERT_EQ(present.size(), 1u) << kvo_test::JoinNames(present);
      EXPECT_EQ(standin::TempDirectory() + "/" + present[0], iter.GetFileName());
    }
    EXPECT_TRUE(fWatch.NewEntries().empty()) << kvo_test::JoinNames(fWatch.NewEntries());
  }
  standin::InterruptAfterPolls(-1);

  // The host's handler let the procedure go on: a new file fills completely.
  KVODataFileIter again(RECORD_SIZE);
  PollingSource source(rows, RECORD_SIZE, true);
  ASSERT_TRUE(again.FillDataFile(source));
  size_t read = 0;
  while (again.Next() != nullptr) ++read;
  EXPECT_EQ(read, rows.size());
}

TEST_F(DataFileFaultTest, CtrlCWhileASortedFileFillsLeavesNoSpillFile) {
  constexpr int RECORD_SIZE = 8;
  standin::SetSortBudget(size_t{64} << 10);  // several spilled runs
  standin::InstallInterruptSignalHandler();
  const Rows rows = Numbered(20000, RECORD_SIZE);
  // The source does not poll: the sort's own polls find the signal, before
  // any run is spilled or after several were.
  for (size_t signalBefore : {size_t{10}, size_t{15000}}) {
    SCOPED_TRACE(signalBefore);
    {
      kvo_test::SortingDataFileIter iter(RECORD_SIZE, {0});
      ASSERT_TRUE(iter.HasValidTempFile());
      PollingSource source(rows, RECORD_SIZE, false, signalBefore);
      EXPECT_THROW(iter.FillDataFile(source), standin::HostInterrupt);
      EXPECT_GE(source.Delivered(), signalBefore);
      const std::vector<std::string> present = fWatch.NewEntries();
      ASSERT_EQ(present.size(), 1u) << "spill files left: " << kvo_test::JoinNames(present);
      EXPECT_EQ(standin::TempDirectory() + "/" + present[0], iter.GetFileName());
    }
    EXPECT_TRUE(fWatch.NewEntries().empty());
    EXPECT_FALSE(standin::InterruptPending()) << "the host consumed the interruption";
  }
}

}  // namespace
