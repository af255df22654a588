// The per-case path allocates nothing: whole passes after the first pulled
// through the data-pass iterator, split groups and matrix included, between
// two readings of the allocation counter. The count covers every per-case
// step on the way: the host's NextCase, the value adapters' encoding and
// lookups in the host's maps.
#include <gtest/gtest.h>
#include <kvoadapter/KVOProcDataSourceIter.h>
#include <vorm/ObsVecMap.h>

#include <memory>

#include "MainLoopTestSupport.h"
#include "support/AllocationCounter.h"

namespace {

using mainloop_test::AddRow;
using mainloop_test::SYSMIS;

// Pulls the rest of a pass, every split group, counting the allocations
// made meanwhile. Nothing in the loop allocates on the test's side.
long AllocationsOfPass(KVOProcDataSourceIter& iter, long& nRecords, double& checksum) {
  kvotest::AllocationCounter counter;
  do {
    while (iter.HasMore()) {
      const QorCommon::Record* record = iter.Next();
      checksum += record->GetAll()[0];
      ++nRecords;
    }
  } while (iter.GetFailReason() == 1 && iter.NewSplit());
  return counter.Count();
}

// Allocations the host's own iterator makes over a pass after its first
// case (it publishes each split group's values as text when the group
// begins); the first case is read outside, as NewPass reads it.
long HostAllocationsOfPass(standin::MemoryDataSource& ds) {
  std::unique_ptr<VORM_InputCaseIterator> iterator(ds.NewCaseIterator(0));
  if (iterator->NextCase() == 0) return 0;
  kvotest::AllocationCounter counter;
  while (iterator->NextCase() != 0) {
  }
  return counter.Count();
}

// A data set of 3000 cases in three split groups with every kind of
// missing value, a matrix over (color, size) that lacks size 4, and a
// specification of every slot kind.
class DataPassAllocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    region = ds.AddNumeric("region", standin::Measure::Nominal);
    color = ds.AddString("color", 8);
    city = ds.AddString("city", 20);
    size = ds.AddNumeric("size", standin::Measure::Nominal);
    ds.Spec(size).fMissingNumbers = {9};
    income = ds.AddNumeric("income");
    w = ds.AddNumeric("w");
    const char* cities[] = {"Amsterdam North Quay", "Rotterdam", "Utrecht Centraal Stn"};
    for (int i = 0; i < 3000; ++i) {
      const double size_i = i % 11 == 0 ? SYSMIS : i % 13 == 0 ? 9.0 : static_cast<double>(i % 5);
      AddRow(ds, {static_cast<double>(i / 1000), std::string(COLORS[i % 4]), std::string(cities[i % 3]),
                  size_i, i % 17 == 0 ? SYSMIS : 100.0 + i, i % 19 == 0 ? 0.0 : 1.0 + (i % 3) * 0.7});
    }
    ASSERT_TRUE(ds.SetWeightVariable(w));
    ds.SetWeightFilter(false);

    pairs = std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(ds, {color, size}), 1);
    for (const char* c : COLORS) {
      for (double s : {0.0, 1.0, 2.0, 3.0}) {
        pairs->Insert(kvotest::Join({kvotest::StrCells(c, 8), kvotest::NumCells(s)}).data())->num = s + 10.0;
      }
    }
    pairVars = {color, size};
    specs.AddVariable(color, true);
    specs.AddVariable(city, true);
    specs.AddVariable(size, true, false, true, true);
    specs.AddVariable(income, false, false, true, true);
    specs.AddMatrixSpec(&pairVars, pairs.get(), &formats, 1, true);
    specs.AddFreeVariable(false);
    specs.SetWeightVar();
    specs.SetCaseCount();
    specs.SetGlobalCount();
  }

  static constexpr const char* COLORS[] = {"red", "green", "blue", "black"};
  kvotest::QuietHost quiet;
  standin::MemoryDataSource ds;
  int region = -1, color = -1, city = -1, size = -1, income = -1, w = -1;
  std::unique_ptr<ObsVecMap> pairs;
  std::vector<int> pairVars;
  const std::vector<VORM_Format> formats = {VORM_Format(VORM_Format::A, 8, 0),
                                            VORM_Format(VORM_Format::F, 8, 0)};
  KVOVarValidSpecs specs;
};

TEST_F(DataPassAllocationTest, PassesAfterTheFirstAllocateNothingPerCase) {
  KVOInputAdapter adapter(&specs, ds);
  KVOProcDataSourceIter iter(adapter, true);

  long records1 = 0, records2 = 0, records3 = 0;
  double checksum1 = 0.0, checksum2 = 0.0, checksum3 = 0.0;
  // The first pass collects categories and reports bad combinations.
  EXPECT_GT(AllocationsOfPass(iter, records1, checksum1), 0);
  ASSERT_GT(records1, 0);

  ASSERT_EQ(iter.NewPass(), 0);  // a new host iterator: allocated here, once per pass
  EXPECT_EQ(AllocationsOfPass(iter, records2, checksum2), 0);
  EXPECT_EQ(records2, records1);
  EXPECT_EQ(checksum2, checksum1);

  // A scoring pass takes the same path with other flags.
  ASSERT_EQ(iter.NewPass(true), 0);
  EXPECT_EQ(AllocationsOfPass(iter, records3, checksum3), 0);
  EXPECT_GT(records3, records2);
}

TEST_F(DataPassAllocationTest, SplitGroupsAddNothingToWhatTheHostAllocates) {
  ASSERT_TRUE(ds.SetSplitVariables({region}));
  const long hostOnly = HostAllocationsOfPass(ds);
  KVOInputAdapter adapter(&specs, ds);
  kvotest::CountingProcedure procedure;
  adapter.SetSplitFile(procedure, true, true, true);
  KVOProcDataSourceIter iter(adapter, true);

  long records1 = 0, records2 = 0, records3 = 0;
  double checksum1 = 0.0, checksum2 = 0.0, checksum3 = 0.0;
  EXPECT_GT(AllocationsOfPass(iter, records1, checksum1), hostOnly);  // categories and split values
  EXPECT_EQ(procedure.fNChanges, 3);

  // Later passes revisit the kept groups: the only allocations are the
  // host iterator's own.
  ASSERT_EQ(iter.NewPass(), 0);
  EXPECT_EQ(AllocationsOfPass(iter, records2, checksum2), hostOnly);
  EXPECT_EQ(records2, records1);
  EXPECT_EQ(checksum2, checksum1);
  ASSERT_EQ(iter.NewPass(true), 0);
  EXPECT_EQ(AllocationsOfPass(iter, records3, checksum3), hostOnly);
  EXPECT_EQ(procedure.fNChanges, 9);
}

}  // namespace
