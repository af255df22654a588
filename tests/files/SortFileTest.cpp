#include <gtest/gtest.h>
#include <vorm/Utility.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "standin/HostControl.h"
#include "support/TempDirWatch.h"

namespace {

constexpr double MISSING = -1.7976931348623157e308;
constexpr double INF = std::numeric_limits<double>::infinity();

// The records a sort reads and the ones it writes, reached by the callbacks.
struct Feed {
  std::vector<std::vector<double>> fInput;
  std::vector<std::vector<double>> fOutput;
  size_t fNext = 0;
  size_t fFailReadAt = 0;   // 1-based call that returns 7; 0 never
  size_t fFailWriteAt = 0;  // 1-based call that returns 1; 0 never
  size_t fThrowReadAt = 0;  // 1-based call that throws the host's interruption
};

Feed* gFeed = nullptr;

int ReadRecord(void* /*handle*/, double* buffer, const int64_t* count) {
  Feed& feed = *gFeed;
  if (feed.fNext + 1 == feed.fFailReadAt) return 7;
  if (feed.fNext + 1 == feed.fThrowReadAt) throw standin::HostInterrupt{};
  if (feed.fNext == feed.fInput.size()) return 1;
  std::copy_n(feed.fInput[feed.fNext++].data(), *count, buffer);
  return 0;
}

int WriteRecord(void* /*handle*/, double* buffer, const int64_t* count) {
  Feed& feed = *gFeed;
  if (feed.fOutput.size() + 1 == feed.fFailWriteAt) return 1;
  feed.fOutput.emplace_back(buffer, buffer + *count);
  return 0;
}

// Sorts feed.fInput by the 1-based positions, ascending.
int64_t Sort(Feed& feed, const std::vector<int64_t>& positions, int64_t* records = nullptr,
             int64_t* runs = nullptr) {
  gFeed = &feed;
  const int64_t length = feed.fInput.empty() ? 2 : static_cast<int64_t>(feed.fInput[0].size());
  const int64_t nKeys = static_cast<int64_t>(positions.size());
  std::vector<int64_t> keys(positions);
  keys.insert(keys.end(), positions.size(), 1);
  keys.insert(keys.end(), positions.size(), 0);
  const double param = -1;
  int64_t field = 0;
  const int64_t reserved = 0;
  int64_t r1 = 0;
  int64_t r2 = 0;
  const int64_t result = SORTFILE(Workspace(), ReadRecord, WriteRecord, &length, keys.data(), &nKeys, &param,
                                  &field, &reserved, records ? records : &r1, runs ? runs : &r2);
  gFeed = nullptr;
  return result;
}

std::vector<std::vector<double>> RandomRecords(size_t count, size_t length, unsigned seed) {
  std::mt19937_64 generator(seed);
  std::vector<std::vector<double>> rows(count, std::vector<double>(length));
  for (size_t r = 0; r < count; ++r) {
    rows[r][0] = static_cast<double>(r);
    rows[r][1] = static_cast<double>(generator() % 7) - 3;  // many ties
    rows[r][2] = generator() % 10 == 0 ? MISSING : std::ldexp(static_cast<double>(generator() >> 11), -40);
    for (size_t c = 3; c < length; ++c) rows[r][c] = static_cast<double>(generator() % 1000);
  }
  return rows;
}

// Stable ascending order by the 1-based positions.
std::vector<std::vector<double>> Expected(std::vector<std::vector<double>> rows,
                                          const std::vector<int64_t>& keys) {
  std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
    for (int64_t key : keys) {
      if (a[key - 1] != b[key - 1]) return a[key - 1] < b[key - 1];
    }
    return false;
  });
  return rows;
}

class SortFileTest : public kvo_test::TempDirCheckedTest {
 protected:
  void TearDown() override {
    standin::SetSortBudget(fSavedBudget);
    standin::InterruptAfterPolls(-1);
    standin::ClearInterrupt();
    TempDirCheckedTest::TearDown();
  }
  size_t fSavedBudget = standin::SortBudget();
};

TEST_F(SortFileTest, OrdersNumbersTheIeeeWayAndKeepsEqualKeysInInputOrder) {
  EXPECT_EQ(fSavedBudget, size_t{256} << 20) << "the default budget";
  Feed feed;
  const double keys[] = {3, INF, std::nan(""), -0.0, MISSING, 0.0, -INF, -1, 3};
  for (size_t i = 0; i < std::size(keys); ++i) feed.fInput.push_back({keys[i], static_cast<double>(i)});
  int64_t records = -1;
  int64_t runs = -1;
  ASSERT_EQ(Sort(feed, {1}, &records, &runs), 0);
  EXPECT_EQ(records, 9);
  EXPECT_EQ(runs, 0) << "fits in memory";
  std::vector<double> order;
  for (const auto& row : feed.fOutput) order.push_back(row[1]);
  // -inf, missing, -1, -0 and +0 as equals in input order, 3 twice, +inf, NaN.
  EXPECT_EQ(order, (std::vector<double>{6, 4, 7, 3, 5, 0, 8, 1, 2}));
  EXPECT_EQ(standin::LastSortError(), "");

  Feed empty;
  EXPECT_EQ(Sort(empty, {1}, &records), 0);
  EXPECT_TRUE(empty.fOutput.empty());
  EXPECT_EQ(records, 0);

  Feed unkeyed;
  unkeyed.fInput = {{5, 0}, {1, 1}, {3, 2}};
  EXPECT_EQ(Sort(unkeyed, {}), 0);
  EXPECT_EQ(unkeyed.fOutput, unkeyed.fInput) << "no keys: the input order";
}

TEST_F(SortFileTest, MatchesStableSortInMemoryAndThroughOneOrSeveralMergeLevels) {
  const std::vector<int64_t> keys = {2, 3};
  const auto rows = RandomRecords(20000, 8, 21);  // 64-byte records, 1.25 MB
  const auto expected = Expected(rows, keys);
  struct Case {
    size_t fBudget;
    int64_t fMinRuns;
    int64_t fMaxRuns;
  };
  // 16 KiB holds 192 records per run: about 105 runs, more than one merge
  // can buffer at once.
  for (const Case& c :
       {Case{size_t{256} << 20, 0, 0}, Case{size_t{1} << 20, 2, 4}, Case{size_t{16} << 10, 90, 120}}) {
    SCOPED_TRACE(c.fBudget);
    standin::SetSortBudget(c.fBudget);
    Feed feed;
    feed.fInput = rows;
    int64_t records = 0;
    int64_t runs = 0;
    ASSERT_EQ(Sort(feed, keys, &records, &runs), 0) << standin::LastSortError();
    EXPECT_EQ(records, 20000);
    EXPECT_GE(runs, c.fMinRuns);
    EXPECT_LE(runs, c.fMaxRuns);
    EXPECT_TRUE(feed.fOutput == expected);
    EXPECT_LE(standin::LastSortPeakBytes(), c.fBudget);
    if (runs > 0) {
      EXPECT_GE(standin::LastSortPeakBytes(), c.fBudget / 2);
    }
  }
}

TEST_F(SortFileTest, RejectsBadArgumentsNamingWhatIsWrong) {
  const int64_t length = 8;
  const int64_t zero = 0;
  const int64_t two = 2;
  const int64_t badPosition[] = {1, 9, 1, 1, 0, 0};
  const int64_t badDirection[] = {1, 2, 1, 0, 0, 0};
  int64_t r1 = 0;
  int64_t r2 = 0;
  EXPECT_EQ(SORTFILE(Workspace(), nullptr, WriteRecord, &length, badPosition, &zero, nullptr, nullptr,
                     nullptr, &r1, &r2),
            standin::SORT_BAD_ARGUMENTS);
  EXPECT_EQ(standin::LastSortError(), "SORTFILE: the read callback is null");
  EXPECT_EQ(SORTFILE(Workspace(), ReadRecord, WriteRecord, &zero, badPosition, &zero, nullptr, nullptr,
                     nullptr, &r1, &r2),
            standin::SORT_BAD_ARGUMENTS);
  EXPECT_NE(standin::LastSortError().find("record length 0"), std::string::npos);
  EXPECT_EQ(SORTFILE(Workspace(), ReadRecord, WriteRecord, &length, badPosition, &two, nullptr, nullptr,
                     nullptr, &r1, &r2),
            standin::SORT_BAD_ARGUMENTS);
  EXPECT_EQ(standin::LastSortError(), "SORTFILE: key 2 names record position 9, outside 1..8");
  EXPECT_EQ(SORTFILE(Workspace(), ReadRecord, WriteRecord, &length, badDirection, &two, nullptr, nullptr,
                     nullptr, &r1, &r2),
            standin::SORT_BAD_ARGUMENTS);
  EXPECT_EQ(standin::LastSortError(), "SORTFILE: key 2 has direction 0; only 1 (ascending) is supported");
  EXPECT_EQ(SORTFILE(Workspace(), ReadRecord, WriteRecord, &length, nullptr, &two, nullptr, nullptr, nullptr,
                     &r1, &r2),
            standin::SORT_BAD_ARGUMENTS);
}

TEST_F(SortFileTest, ReportsFailingCallbacksAndSpillFiles) {
  standin::SetSortBudget(size_t{64} << 10);
  const auto rows = RandomRecords(5000, 8, 3);
  {
    Feed feed;
    feed.fInput = rows;
    feed.fFailReadAt = 100;
    EXPECT_EQ(Sort(feed, {2}), standin::SORT_CALLBACK_FAILED);
    EXPECT_EQ(standin::LastSortError(), "SORTFILE: the read callback returned 7 for input record 100");
  }
  {
    Feed feed;
    feed.fInput = rows;
    feed.fFailWriteAt = 4000;
    EXPECT_EQ(Sort(feed, {2}), standin::SORT_CALLBACK_FAILED);
    EXPECT_EQ(standin::LastSortError(), "SORTFILE: the write callback returned 1 for output record 4000");
  }
  {
    kvo_test::ScopedTempDirectory missing(standin::TempDirectory() + "/absent");
    Feed feed;
    feed.fInput = rows;
    EXPECT_EQ(Sort(feed, {2}), standin::SORT_SPILL_FAILED);
    EXPECT_NE(standin::LastSortError().find("cannot create a spill file in '"), std::string::npos);
    EXPECT_TRUE(feed.fOutput.empty());
  }
}

TEST_F(SortFileTest, InterruptionOrAnExceptionLeavesNoSpillFile) {
  standin::SetSortBudget(size_t{64} << 10);
  const auto rows = RandomRecords(20000, 8, 8);
  for (int64_t polls : {0, 10, 40, 55}) {
    SCOPED_TRACE(polls);
    standin::InterruptAfterPolls(polls);
    Feed feed;
    feed.fInput = rows;
    EXPECT_EQ(Sort(feed, {2, 3}), VORM_SORT_INTERRUPTED);
    EXPECT_TRUE(standin::InterruptPending()) << "the sort reports the interruption and leaves it to the host";
    EXPECT_TRUE(fWatch.NewEntries().empty());
    EXPECT_LT(feed.fOutput.size(), rows.size());
    standin::ClearInterrupt();
  }
  standin::InterruptAfterPolls(-1);

  Feed feed;
  feed.fInput = rows;
  feed.fThrowReadAt = 15000;  // after several runs were spilled
  EXPECT_THROW(Sort(feed, {2}), standin::HostInterrupt);
  EXPECT_TRUE(fWatch.NewEntries().empty());
  EXPECT_GT(standin::LastSortPeakBytes(), 0u);
  EXPECT_NE(standin::LastSortError().find("exception"), std::string::npos);
}

}  // namespace
