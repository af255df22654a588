// The continuous adapter's rules beyond a plain pass (the layout integration
// test reads values and ranges over a survey): replays never widen the range,
// rebinding keeps it, and copies.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "LayoutTestSupport.h"
#include "kvoadapter/KVOContVarAdapter.h"

namespace {

using specs_test::NewIterator;
using specs_test::SYSMIS;

// A numeric variable whose user-missing values are the range 90 thru 99.
class KVOContVarAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fX = fData.AddNumeric("x");
    fData.Spec(fX).fHasMissingRange = true;
    fData.Spec(fX).fMissingLow = 90.0;
    fData.Spec(fX).fMissingHigh = 99.0;
    for (double value : {5.0, -3.0, SYSMIS, 95.0, 12.0, 0.5}) {
      fData.AddCase();
      fData.SetNumber(fX, value);
    }
  }

  standin::MemoryDataSource fData;
  int fX = -1;
};

TEST_F(KVOContVarAdapterTest, ReplayReturnsValuesButNeverWidensTheRange) {
  auto it = NewIterator(fData);
  KVOContVarAdapter adapter(*it, fX, false);
  EXPECT_EQ(adapter.GetMinValue(), SYSMIS) << "no value yet";
  EXPECT_EQ(adapter.GetMaxValue(), SYSMIS);
  ASSERT_NE(it->NextCase(), 0);
  adapter.GetValue();  // 5
  ASSERT_NE(it->NextCase(), 0);
  adapter.GetValue();  // -3

  std::vector<double> replayed;
  while (it->NextCase() != 0) {
    replayed.push_back(adapter.GetOldValue());
    EXPECT_EQ(adapter.UpdateValid(), replayed.back() != SYSMIS);
  }
  EXPECT_EQ(replayed, (std::vector<double>{SYSMIS, SYSMIS, 12.0, 0.5}));
  EXPECT_EQ(adapter.GetMinValue(), -3.0);
  EXPECT_EQ(adapter.GetMaxValue(), 5.0) << "12 lies outside the range and was only replayed";

  // Rebinding to a new pass keeps the range; the flag may change.
  auto next = NewIterator(fData);
  adapter.SetCaseValueReader(*next, true);
  EXPECT_EQ(adapter.GetMinValue(), -3.0);
  EXPECT_EQ(adapter.GetMaxValue(), 5.0);
  ASSERT_TRUE(specs_test::MoveTo(*next, 4));
  EXPECT_EQ(adapter.GetValue(), 95.0);
  EXPECT_EQ(adapter.GetMaxValue(), 95.0);
}

TEST_F(KVOContVarAdapterTest, CopiesOwnTheirReader) {
  auto it = NewIterator(fData);
  auto source = std::make_unique<KVOContVarAdapter>(*it, fX, false);
  ASSERT_NE(it->NextCase(), 0);
  source->GetValue();  // 5
  {
    KVOContVarAdapter copy(*source);
    EXPECT_EQ(copy.GetMinValue(), 5.0);
    ASSERT_NE(it->NextCase(), 0);
    EXPECT_EQ(copy.GetValue(), -3.0);
    EXPECT_EQ(copy.GetMinValue(), -3.0);
    EXPECT_EQ(source->GetMinValue(), 5.0) << "the range of the copy is its own";
  }
  EXPECT_EQ(source->GetValue(), -3.0) << "the source's reader survives the copy";

  auto other = NewIterator(fData);
  KVOContVarAdapter assigned(*other, fX, true);
  assigned = *source;
  assigned = assigned;
  source.reset();
  EXPECT_EQ(assigned.GetMinValue(), -3.0);
  EXPECT_EQ(assigned.GetMaxValue(), 5.0);
  EXPECT_EQ(assigned.GetVarIndex(), fX);
  ASSERT_NE(it->NextCase(), 0);  // system-missing
  EXPECT_EQ(assigned.GetValue(), SYSMIS) << "reads the source's iterator";
  ASSERT_NE(it->NextCase(), 0);  // 95, user-missing: excluded as in the source
  EXPECT_EQ(assigned.GetValue(), SYSMIS);
}

}  // namespace
