// Split-file handling of the input adapter: switching it on, long split
// values, and the walk without iterator and its preconditions.
// (The data-pass integration test reads split groups over several passes,
// with and without kept group data, and with splits off, against a model.)
#include <gtest/gtest.h>
#include <kvoadapter/KVOInputAdapter.h>
#include <kvoadapter/KVOProcDataSourceIter.h>

#include "MainLoopTestSupport.h"
#include "support/ForwardingDataSource.h"

namespace {

using kvotest::AssertsFrom;
using kvotest::CountingProcedure;
using mainloop_test::AddRow;

class KVOInputAdapterSplitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::VariableSpec regionSpec;
    regionSpec.fName = "region";
    regionSpec.fLabel = "Sales region";
    regionSpec.fFormat = VORM_Format(VORM_Format::F, 8, 0);
    regionSpec.fMeasure = standin::Measure::Nominal;
    regionSpec.fNumericLabels = {{1.0, "North"}, {2.0, "South"}};
    region = ds.AddVariable(regionSpec);
    zone = ds.AddString("zone", 20);
    color = ds.AddString("color", 8);
    // Groups by region: 1 (2 cases), 2 (3 cases), 3 (1 case).
    const char* colors[] = {"red", "blue", "blue", "green", "green", "red"};
    const double regions[] = {1, 1, 2, 2, 2, 3};
    const char* zones[] = {"abcdefghijklmnopqrst", "abcdefghijklmnopqrst", "xy", "xy", "xy", "q"};
    for (int i = 0; i < 6; ++i) AddRow(ds, {regions[i], std::string(zones[i]), std::string(colors[i])});
    ds.SetSplitVariables({region});
    rc = specs.AddVariable(color, true);
    rl = specs.SetCaseCount();
  }

  // Reads the current group to its end; returns the codes of color.
  std::vector<double> ReadGroup(KVOProcDataSourceIter& iter) {
    std::vector<double> codes;
    while (iter.HasMore()) codes.push_back(iter.Next()->GetAll()[rc]);
    EXPECT_EQ(iter.GetFailReason(), 1);
    return codes;
  }

  // The numeric split value of the current group.
  static double RegionOf(const KVOInputAdapter& adapter) {
    const std::vector<OBS*>& values = adapter.GetSplitValues();
    return values.size() == 1 && values[0] != nullptr ? values[0]->num : -1.0;
  }

  kvotest::QuietHost quiet;
  standin::MemoryDataSource ds;
  KVOVarValidSpecs specs;
  CountingProcedure procedure;
  int region = -1, zone = -1, color = -1, rc = -1, rl = -1;
};

TEST_F(KVOInputAdapterSplitTest, SetSplitFileTakesTheFlagTheHostChooses) {
  standin::MemoryDataSource plain;
  KVOVarValidSpecs plainSpecs;
  plainSpecs.AddVariable(plain.AddNumeric("v"), true);
  KVOInputAdapter unsplit(&plainSpecs, plain);
  unsplit.SetSplitFile(procedure, true, true, false);
  EXPECT_FALSE(unsplit.GetSplitFile());
  EXPECT_TRUE(unsplit.GetKeepSplitInfo());

  KVOInputAdapter adapter(&specs, ds);
  EXPECT_FALSE(adapter.GetSplitFile());  // off until asked for
  ds.SetSplitRequested(false);
  adapter.SetSplitFile(procedure, /*splitWhenClear=*/true, /*splitWhenSet=*/false, false);
  EXPECT_TRUE(adapter.GetSplitFile());
  EXPECT_FALSE(adapter.GetKeepSplitInfo());
  adapter.SetSplitFile(procedure, false, true, false);
  EXPECT_FALSE(adapter.GetSplitFile());
  EXPECT_TRUE(adapter.GetKeepSplitInfo());  // keeping is only turned off with splits on
  ds.SetSplitRequested(true);
  adapter.SetSplitFile(procedure, false, true, true);
  EXPECT_TRUE(adapter.GetSplitFile());
  EXPECT_TRUE(adapter.GetKeepSplitInfo());
}

TEST_F(KVOInputAdapterSplitTest, SplitValuesKeepAllCellsAndReadBackAsTextAndLabels) {
  ds.SetSplitVariables({region, zone});
  KVOInputAdapter adapter(&specs, ds);
  adapter.SetSplitFile(procedure, true, true, true);

  std::vector<std::string> names, labels, values;
  EXPECT_EQ(adapter.GetSplitNamesAndLabels(names, labels), 2);
  EXPECT_EQ(names, (std::vector<std::string>{"region", "zone"}));
  EXPECT_EQ(labels, (std::vector<std::string>{"Sales region", ""}));
  // No group has begun: no values yet.
  EXPECT_EQ(adapter.GetSplitValuesAndLabels(values, labels), 2);
  EXPECT_EQ(values, (std::vector<std::string>{"", ""}));

  KVOProcDataSourceIter iter(adapter, true);
  ASSERT_EQ(adapter.GetSplitValues().size(), 2u);
  EXPECT_EQ(adapter.GetSplitValues()[0]->num, 1.0);
  // The 20-byte string keeps three cells.
  EXPECT_EQ(kvotest::Bytes(adapter.GetSplitValues()[1], 20), "abcdefghijklmnopqrst");
  EXPECT_EQ(adapter.GetSplitValuesAndLabels(values, labels), 2);
  EXPECT_EQ(values, (std::vector<std::string>{"1", "abcdefghijklmnopqrst"}));
  EXPECT_EQ(labels, (std::vector<std::string>{"North", ""}));

  ReadGroup(iter);
  ASSERT_TRUE(iter.NewSplit());
  EXPECT_EQ(adapter.GetSplitValuesAndLabels(values, labels), 2);
  EXPECT_EQ(values, (std::vector<std::string>{"2", "xy"}));  // trimmed
  EXPECT_EQ(labels, (std::vector<std::string>{"South", ""}));
  ReadGroup(iter);
  ASSERT_TRUE(iter.NewSplit());
  EXPECT_EQ(adapter.GetSplitValuesAndLabels(values, labels), 2);
  EXPECT_EQ(values, (std::vector<std::string>{"3", "q"}));
  EXPECT_EQ(labels, (std::vector<std::string>{"", ""}));  // 3 has no label

  // A host whose format for the 20-byte zone is A40: the text is read from
  // the kept value's own 20 bytes only.
  const kvotest::FormatVariable wideZone(*ds.GetVariable(zone), VORM_Format(VORM_Format::A, 40, 0));
  kvotest::ForwardingDataSource dictionary(ds);
  dictionary.Replace(zone, wideZone);
  KVOInputAdapter wide(&specs, dictionary);
  wide.SetSplitFile(procedure, true, true, true);
  KVOProcDataSourceIter wideIter(wide, true);
  EXPECT_EQ(wide.GetSplitValuesAndLabels(values, labels), 2);
  EXPECT_EQ(values, (std::vector<std::string>{"1", "abcdefghijklmnopqrst"}));
}

TEST_F(KVOInputAdapterSplitTest, KeptGroupsAreWalkedWithoutIterator) {
  // A fresh adapter without iterator: its only data stays current.
  {
    KVOInputAdapter fresh(&specs, ds);
    SplitData* only = fresh.GetSplitData();
    fresh.ClearDSIterator();
    fresh.ResetSplitNoIter();
    EXPECT_EQ(fresh.GetSplitData(), only);
    EXPECT_EQ(fresh.GetCumNCases(), 0);
    fresh.ChangeSplitNoIter();  // splits off: nothing changes
    EXPECT_EQ(fresh.GetSplitCount(), 0);
    EXPECT_TRUE(AssertsFrom("KVOInputAdapter").empty());
  }

  KVOInputAdapter adapter(&specs, ds);
  adapter.SetSplitFile(procedure, true, true, true);
  {
    KVOProcDataSourceIter iter(adapter, true);
    do ReadGroup(iter);
    while (iter.NewSplit());
  }
  ASSERT_EQ(adapter.GetDSIterator(), nullptr);
  adapter.ResetSplitNoIter();
  EXPECT_EQ(adapter.GetSplitCount(), 0);
  const std::vector<int> groupSizes = {2, 3, 1};
  for (int group = 0; group < 3; ++group) {
    adapter.ChangeSplitNoIter();
    EXPECT_EQ(adapter.GetSplitCount(), group + 1);
    EXPECT_EQ(RegionOf(adapter), group + 1.0);
    EXPECT_EQ(adapter.GetNCases(), groupSizes[static_cast<size_t>(group)]);
  }
  adapter.ChangeSplitNoIter();  // beyond the last group: ignored
  EXPECT_EQ(adapter.GetSplitCount(), 3);
  EXPECT_EQ(adapter.GetCumNCases(), 6);
  EXPECT_TRUE(AssertsFrom("KVOInputAdapter").empty());

  // With an iterator, or without kept groups, the walk is a contract breach.
  KVOInputAdapter withIterator(&specs, ds);
  withIterator.ResetSplitNoIter();
  EXPECT_EQ(AssertsFrom("KVOInputAdapter"), std::vector<std::string>{"fpDSIter == 0"});
  standin::ClearAssertReports();
  withIterator.SetSplitFile(procedure, true, true, false);
  withIterator.ClearDSIterator();
  withIterator.ChangeSplitNoIter();
  EXPECT_EQ(AssertsFrom("KVOInputAdapter"), std::vector<std::string>{"fbKeepSplitInfo"});
}

}  // namespace
