// Scoring a case allocates nothing once the scorer is prepared and has seen
// its first case: cases scored between two readings of the allocation
// counter.
#include <gtest/gtest.h>
#include <kvoadapter/KVOTransformScorer.h>

#include <memory>

#include "standin/HostControl.h"
#include "standin/MemoryDataSource.h"
#include "support/AllocationCounter.h"
#include "support/TransformModelSamples.h"

namespace {

TEST(ScoringAllocationTest, ScoreRecordAllocatesNothingPerCase) {
  for (bool unicode : {true, false}) {
    standin::SetHostEncoding(unicode ? "UTF-8" : "CP1252");
    standin::MemoryDataSource data;
    const int age = data.AddNumeric("age");
    const int income = data.AddNumeric("income");
    const int score = data.AddNumeric("score");
    const int region = data.AddString("region", 8);
    const char* regions[] = {"north", "south", "east", "w\xE9st", "none", ""};
    for (int c = 0; c < 600; ++c) {
      data.AddCase();
      data.SetNumber(age, c % 7 == 0 ? VORM_SYSMIS : c % 90);
      data.SetNumber(income, c % 11 == 0 ? VORM_SYSMIS : c * 150.0 - 2000);
      data.SetNumber(score, c % 13 == 0 ? VORM_SYSMIS : c % 100 - 3);
      data.SetString(region, regions[c % 6]);
    }
    std::unique_ptr<VORM_InputCaseIterator> iterator(data.NewCaseIterator(0));
    kvotest::AllocationCounter preparation;
    KVOTransformScorer scorer;
    ASSERT_TRUE(
        scorer.PrepareScoring(iterator.get(), unicode, kvotest::DOZEN_FIELD_MODEL, {"combo", "edge"}, true));
    // Preparation allocates (the counter sees the libraries' allocations).
    EXPECT_GT(preparation.Count(), 0);
    ASSERT_NE(iterator->NextCase(), 0);
    ASSERT_TRUE(scorer.ScoreRecord());  // the first case sizes the work texts

    kvotest::AllocationCounter counter;
    int scored = 0;
    while (iterator->NextCase() != 0) scored += scorer.ScoreRecord() ? 1 : 0;
    EXPECT_EQ(counter.Count(), 0) << (unicode ? "unicode mode" : "host encoding");
    EXPECT_EQ(scored, 599);
  }
  standin::SetHostEncoding("UTF-8");
}

}  // namespace
