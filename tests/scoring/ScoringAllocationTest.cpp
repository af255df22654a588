// Scoring a case allocates nothing once the scorer is prepared and has seen
// its first case: this program replaces the global operator new with a
// counting one and scores cases between two readings of the counter.
#include <gtest/gtest.h>
#include <kvoadapter/KVOTransformScorer.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "standin/HostControl.h"
#include "standin/MemoryDataSource.h"
#include "support/TransformModelSamples.h"

namespace {
std::atomic<long> gAllocations{0};
}  // namespace

// GCC pairs the inlined malloc and free below as if they were new and free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  ++gAllocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// The nothrow form too (std::stable_sort takes its buffer with it): left to
// AddressSanitizer's own operator new, its blocks would meet this free.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++gAllocations;
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

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
    const long beforePrepare = gAllocations;
    KVOTransformScorer scorer;
    ASSERT_TRUE(scorer.PrepareScoring(iterator.get(), unicode, kvotest::DOZEN_FIELD_MODEL, {"combo", "edge"}, true));
    // Preparation allocates (the counter sees the libraries' allocations).
    EXPECT_GT(gAllocations - beforePrepare, 0);
    ASSERT_NE(iterator->NextCase(), 0);
    ASSERT_TRUE(scorer.ScoreRecord());  // the first case sizes the work texts

    const long before = gAllocations;
    int scored = 0;
    while (iterator->NextCase() != 0) scored += scorer.ScoreRecord() ? 1 : 0;
    EXPECT_EQ(gAllocations - before, 0) << (unicode ? "unicode mode" : "host encoding");
    EXPECT_EQ(scored, 599);
  }
  standin::SetHostEncoding("UTF-8");
}

}  // namespace
