// The per-case steps of the stand-in host allocate nothing: cases read and
// keys looked up between two readings of the allocation counter.
#include <gtest/gtest.h>
#include <vorm/ObsVecMap.h>

#include <cstring>
#include <memory>

#include "support/AllocationCounter.h"
#include "support/DataSourceBuilder.h"

namespace {

std::unique_ptr<standin::MemoryDataSource> MakeData(bool split) {
  auto ds = std::make_unique<standin::MemoryDataSource>();
  const int x = ds->AddNumeric("x");
  const int s = ds->AddString("s", 20);
  const int w = ds->AddNumeric("w");
  const int g = ds->AddNumeric("g");
  ds->SetWeightVariable(w);
  if (split) ds->SetSplitVariables({g});
  for (int r = 0; r < 3000; ++r) {
    ds->AddCase();
    ds->SetNumber(x, r);
    ds->SetString(s, "text");
    ds->SetNumber(w, r % 7 == 0 ? 0.0 : 1.5);
    ds->SetNumber(g, r / 1000);
  }
  return ds;
}

TEST(HotPathAllocationTest, NextCaseAllocatesNothing) {
  auto ds = MakeData(false);
  std::unique_ptr<VORM_InputCaseIterator> it(ds->NewCaseIterator(0));
  auto* proc = dynamic_cast<ProcDSIterator*>(it.get());
  ASSERT_NE(proc, nullptr);
  kvotest::AllocationCounter counter;
  int cases = 0;
  double sum = 0;
  while (proc->NextCase() != 0) {
    sum += proc->GetNumericValue(0) * proc->Weight();
    ++cases;
  }
  EXPECT_EQ(counter.Count(), 0);
  EXPECT_GT(cases, 2000);
  EXPECT_GT(sum, 0.0);
}

TEST(HotPathAllocationTest, SplitIterationAllocatesOnlyAtGroupStarts) {
  auto ds = MakeData(true);
  std::unique_ptr<VORM_InputCaseIterator> it(ds->NewCaseIterator(0));
  auto* proc = dynamic_cast<ProcDSIterator*>(it.get());
  ASSERT_NE(proc->NextCase(), 0);  // first case of group 0: publishes the group
  kvotest::AllocationCounter counter;
  while (proc->NextCase() != 0 && !proc->SplitGroupEnd()) {
  }
  ASSERT_TRUE(proc->SplitGroupEnd());
  EXPECT_EQ(counter.Count(), 0) << "within a group and at its end mark";
  ASSERT_NE(proc->NextCase(), 0);  // first case of group 1
  EXPECT_GT(counter.Count(), 0) << "the new group is published";
}

TEST(HotPathAllocationTest, MapLookupsAllocateNothing) {
  ObsVecMap numbers({0}, 1);
  ObsVecMap pairs({12, 0}, 1);
  std::vector<OBS> keys(3 * 500);
  for (int c = 0; c < 500; ++c) {
    OBS* key = &keys[3 * static_cast<size_t>(c)];
    std::memset(static_cast<void*>(key), ' ', 16);
    std::memcpy(key->str, "cat", 3);
    key[1].str[0] = static_cast<char>('A' + c % 26);
    key[2].num = c;
    numbers.Insert(key + 2)[0].num = c;
    pairs.Insert(key)[0].num = c;
  }
  kvotest::AllocationCounter counter;
  double sum = 0;
  for (int round = 0; round < 20; ++round) {
    for (int c = 0; c < 500; ++c) {
      const OBS* key = &keys[3 * static_cast<size_t>(c)];
      sum += numbers.Contains(key + 2)[0].num + pairs.Contains(key)[0].num;
    }
  }
  EXPECT_EQ(counter.Count(), 0);
  EXPECT_EQ(sum, 20.0 * 2 * (499 * 500 / 2));
}

}  // namespace
