// The per-case path allocates nothing: this program replaces the global
// allocation functions with counting ones and pulls whole passes after the
// first through the data-pass iterator, split groups and matrix included.
#include <gtest/gtest.h>
#include <kvoadapter/KVOProcDataSourceIter.h>
#include <vorm/ObsVecMap.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "MainLoopTestSupport.h"

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

void* CountedAllocation(std::size_t size) {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
}  // namespace

void* operator new(std::size_t size) { return CountedAllocation(size); }
void* operator new[](std::size_t size) { return CountedAllocation(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace {

using mainloop_test::AddRow;
using mainloop_test::NumberCell;
using mainloop_test::StringCells;
using mainloop_test::SYSMIS;

class SplitNotice : public BpProcedure {
 public:
  void SplitChange() override { ++fNChanges; }
  int fNChanges = 0;
};

// Pulls the rest of a pass, every split group, counting the allocations
// made meanwhile. Nothing in the loop allocates on the test's side.
long AllocationsOfPass(KVOProcDataSourceIter& iter, long& nRecords, double& checksum) {
  gAllocations = 0;
  gCounting = true;
  do {
    while (iter.HasMore()) {
      const QorCommon::Record* record = iter.Next();
      checksum += record->GetAll()[0];
      ++nRecords;
    }
  } while (iter.GetFailReason() == 1 && iter.NewSplit());
  gCounting = false;
  return gAllocations.load();
}

TEST(DataPassAllocationTest, PassesAfterTheFirstAllocateNothingPerCase) {
  mainloop_test::QuietHost quiet;
  standin::MemoryDataSource ds;
  const int region = ds.AddNumeric("region", standin::Measure::Nominal);
  const int color = ds.AddString("color", 8);
  const int city = ds.AddString("city", 20);
  const int size = ds.AddNumeric("size", standin::Measure::Nominal);
  ds.Spec(size).fMissingNumbers = {9};
  const int income = ds.AddNumeric("income");
  const int w = ds.AddNumeric("w");
  const char* colors[] = {"red", "green", "blue", "black"};
  const char* cities[] = {"Amsterdam North Quay", "Rotterdam", "Utrecht Centraal Stn"};
  for (int i = 0; i < 3000; ++i) {
    const double size_i = i % 11 == 0 ? SYSMIS : i % 13 == 0 ? 9.0 : static_cast<double>(i % 5);
    AddRow(ds, {static_cast<double>(i / 1000), std::string(colors[i % 4]), std::string(cities[i % 3]), size_i,
                i % 17 == 0 ? SYSMIS : 100.0 + i, i % 19 == 0 ? 0.0 : 1.0 + (i % 3) * 0.7});
  }
  ASSERT_TRUE(ds.SetWeightVariable(w));
  ds.SetWeightFilter(false);
  ds.SetSplitVariables({region});

  ObsVecMap pairs(ObsVecMap::MakeKeySpec(ds, {color, size}), 1);
  for (const char* c : colors) {
    for (double s : {0.0, 1.0, 2.0, 3.0}) {  // 4 is missing from the map
      std::vector<OBS> key = StringCells(c, 8);
      key.push_back(NumberCell(s));
      pairs.Insert(key.data())->num = s + 10.0;
    }
  }
  const std::vector<int> pairVars = {color, size};
  const std::vector<VORM_Format> formats = {VORM_Format(VORM_Format::A, 8, 0), VORM_Format(VORM_Format::F, 8, 0)};

  KVOVarValidSpecs specs;
  specs.AddVariable(color, true);
  specs.AddVariable(city, true);
  specs.AddVariable(size, true, false, true, true);
  specs.AddVariable(income, false, false, true, true);
  specs.AddMatrixSpec(&pairVars, &pairs, &formats, 1, true);
  specs.AddFreeVariable(false);
  specs.SetWeightVar();
  specs.SetCaseCount();
  specs.SetGlobalCount();
  KVOInputAdapter adapter(&specs, ds);
  SplitNotice procedure;
  adapter.SetSplitFile(procedure, true, true, true);
  KVOProcDataSourceIter iter(adapter, true);

  long records1 = 0, records2 = 0, records3 = 0;
  double checksum1 = 0.0, checksum2 = 0.0, checksum3 = 0.0;
  // The first pass collects categories and split values: it allocates.
  EXPECT_GT(AllocationsOfPass(iter, records1, checksum1), 0);
  EXPECT_EQ(procedure.fNChanges, 3);
  ASSERT_GT(records1, 0);

  ASSERT_EQ(iter.NewPass(), 0);  // a new host iterator: allocated here, once per pass
  EXPECT_EQ(AllocationsOfPass(iter, records2, checksum2), 0);
  EXPECT_EQ(records2, records1);
  EXPECT_EQ(checksum2, checksum1);

  // A scoring pass takes the same path with other flags.
  ASSERT_EQ(iter.NewPass(true), 0);
  EXPECT_EQ(AllocationsOfPass(iter, records3, checksum3), 0);
  EXPECT_GT(records3, records2);
  EXPECT_EQ(procedure.fNChanges, 9);
}

}  // namespace
