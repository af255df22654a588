// The input adapter's own rules beyond what a data pass shows (the data-pass
// integration test checks the per-case steps, weights, deletion and counters
// against a model): its shape, lookups and their answers for bad indices,
// passes, a missing specification or host iterator, several matrices, and the
// reordering of code lists.
#include <gtest/gtest.h>
#include <kvoadapter/KVOInputAdapter.h>
#include <kvoadapter/KVOProcDataSourceIter.h>
#include <vorm/ObsVecMap.h>

#include <functional>
#include <memory>

#include "MainLoopTestSupport.h"

namespace {

using kvotest::AssertsFrom;
using kvotest::Bytes;
using kvotest::NumCells;
using kvotest::StrCells;
using mainloop_test::AddRow;
using mainloop_test::SYSMIS;

// An adapter that counts its pass hook.
class HookCountingAdapter : public KVOInputAdapter {
 public:
  using KVOInputAdapter::KVOInputAdapter;
  int fNewPasses = 0;

 protected:
  void PrepareNewPass() override { ++fNewPasses; }
};

class KVOInputAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    color = ds.AddString("color", 8);
    ds.Spec(color).fMissingStrings = {"none"};
    size = ds.AddNumeric("size", standin::Measure::Nominal);
    ds.Spec(size).fMissingNumbers = {9};
    income = ds.AddNumeric("income");
    w = ds.AddNumeric("w");
  }

  // Moves the adapter's host iterator to its next case.
  static void Step(KVOInputAdapter& adapter) { ASSERT_NE(adapter.GetDSIterator()->NextCase(), 0); }

  kvotest::QuietHost quiet;
  standin::MemoryDataSource ds;
  int color = -1, size = -1, income = -1, w = -1;
};

TEST_F(KVOInputAdapterTest, ShapeCountsEverySlotKind) {
  KVOVarValidSpecs specs;
  specs.AddVariable(color, true);
  specs.AddVariable(size, true);
  specs.AddVariable(income, false);
  specs.AddFreeVariable(true);
  specs.SetWeightVar();
  specs.SetCaseCount();
  KVOInputAdapter adapter(&specs, ds);
  EXPECT_EQ(adapter.GetRecordSize(), 6);
  EXPECT_EQ(adapter.GetNCatVars(), 2);
  EXPECT_EQ(adapter.GetNContVars(), 1);
  EXPECT_EQ(adapter.GetNContVarsNoMatrix(), 1);
  EXPECT_EQ(adapter.GetNFreeVars(), 1);
  EXPECT_EQ(adapter.GetAdaptInds(), (std::vector<int>{0, 1, 0, -1, -1, -1}));
  EXPECT_TRUE(adapter.IsWeightVarSet());
  EXPECT_TRUE(adapter.IsCaseCountSet());
  EXPECT_FALSE(adapter.IsGlobalCountSet());
  EXPECT_TRUE(AssertsFrom("KVOInputAdapter").empty());
}

TEST_F(KVOInputAdapterTest, WithoutSpecificationTheAdapterReportsAndStaysInert) {
  AddRow(ds, {std::string("red"), 1.0});
  KVOInputAdapter adapter(nullptr, ds);
  EXPECT_EQ(AssertsFrom("KVOInputAdapter"), (std::vector<std::string>{"fpValidSpecs != 0"}));
  EXPECT_EQ(adapter.GetRecordSize(), 0);
  EXPECT_EQ(adapter.GetNSplitData(), 0);
  EXPECT_EQ(adapter.GetCatRecAdapter(0), nullptr);
  double record[1] = {7.0};
  EXPECT_TRUE(adapter.EncodeCatVars(record));
  EXPECT_TRUE(adapter.FillFreeVars(record));
  EXPECT_EQ(record[0], 7.0);
}

TEST_F(KVOInputAdapterTest, UnknownWeightAdjustmentTakesWeightsAsTheyAreAndNoSlotWritesNothing) {
  ASSERT_TRUE(ds.SetWeightVariable(w));
  ds.SetWeightFilter(false);
  for (double weight : {2.5, 0.0}) AddRow(ds, {std::string("a"), 1.0, 1.0, weight});
  KVOVarValidSpecs specs;
  specs.AddVariable(size, true);
  const int rw = specs.SetWeightVar();
  KVOInputAdapter adapter(&specs, ds);
  adapter.SetWeightAdjType(static_cast<WeightAdjType>(7));
  double record[2] = {5.0, 77.0};
  Step(adapter);
  EXPECT_TRUE(adapter.ProcessWeight(record));
  EXPECT_EQ(record[rw], 2.5);
  Step(adapter);
  EXPECT_FALSE(adapter.ProcessWeight(record));
  EXPECT_EQ(record[rw], 0.0);
  EXPECT_EQ(record[0], 5.0);

  KVOVarValidSpecs plain;
  plain.AddVariable(size, true);
  KVOInputAdapter unweighted(&plain, ds);
  Step(unweighted);
  double one[1] = {5.0};
  EXPECT_TRUE(unweighted.ProcessWeight(one));
  EXPECT_EQ(one[0], 5.0);
  EXPECT_FALSE(unweighted.StoreCaseCount(one));
  EXPECT_FALSE(unweighted.StoreGlobalCount(one));
  EXPECT_EQ(one[0], 5.0);
}

// The counters a component may step itself (the data pass keeps its own).
TEST_F(KVOInputAdapterTest, CountersAddOneOrTheRecordsWeight) {
  KVOVarValidSpecs specs;
  specs.AddVariable(size, true);
  const int rw = specs.SetWeightVar();
  KVOInputAdapter adapter(&specs, ds);
  double record[2] = {0.0, 2.5};
  ASSERT_EQ(rw, 1);
  adapter.IncrNCases();
  adapter.IncrNCases();
  adapter.IncrNRecords();
  adapter.IncrNValidCases();
  adapter.IncrNInvalidCases();
  adapter.IncrWeightNCases(record);
  adapter.IncrWeightNValidCases(record);
  record[rw] = 0.5;
  adapter.IncrWeightNInvalidCases(record);
  adapter.IncrWeightNCases(nullptr);  // a null record contributes nothing
  EXPECT_EQ(adapter.GetNCases(), 2);
  EXPECT_EQ(adapter.GetNRecords(), 1);
  EXPECT_EQ(adapter.GetNValidCases(), 1);
  EXPECT_EQ(adapter.GetNInvalidCases(), 1);
  EXPECT_EQ(adapter.GetWeightNCases(), 2.5);
  EXPECT_EQ(adapter.GetWeightNValidCases(), 2.5);
  EXPECT_EQ(adapter.GetWeightNInvalidCases(), 0.5);
  // Without a weight slot every record weighs 1.
  KVOVarValidSpecs plain;
  plain.AddVariable(size, true);
  KVOInputAdapter unweighted(&plain, ds);
  unweighted.IncrWeightNCases(record);
  EXPECT_EQ(unweighted.GetWeightNCases(), 1.0);
}

TEST_F(KVOInputAdapterTest, WeightFilterIsTurnedOffOnlyForScoringAndRestored) {
  ASSERT_TRUE(ds.SetWeightVariable(w));
  KVOVarValidSpecs specs;
  specs.AddVariable(size, true);
  ds.SetWeightFilter(true);
  {
    KVOInputAdapter adapter(&specs, ds);
    adapter.SetScoreIteration(true);
    EXPECT_FALSE(ds.GetWeightFilter());
    adapter.SetScoreIteration(false);
    EXPECT_TRUE(ds.GetWeightFilter());
    adapter.AdjustForDSIterator(true);
    EXPECT_FALSE(ds.GetWeightFilter());
  }
  EXPECT_TRUE(ds.GetWeightFilter());  // the destructor restores the host's setting

  // A host that filters nothing is left so; unweighted data are never touched.
  ds.SetWeightFilter(false);
  {
    KVOInputAdapter adapter(&specs, ds);
    adapter.SetScoreIteration(true);
    adapter.SetScoreIteration(false);
    EXPECT_FALSE(ds.GetWeightFilter());
  }
  ASSERT_TRUE(ds.SetWeightVariable(-1));
  ds.SetWeightFilter(true);
  {
    KVOInputAdapter adapter(&specs, ds);
    adapter.SetScoreIteration(true);
    EXPECT_TRUE(ds.GetWeightFilter());
  }
}

TEST_F(KVOInputAdapterTest, FirstMatrixWithoutSpecificationStopsTheRecodingAndIsReportedInTheFirstPassOnly) {
  AddRow(ds, {std::string("red"), 1.0});
  AddRow(ds, {std::string("red"), 2.0});
  ObsVecMap pairs(ObsVecMap::MakeKeySpec(ds, {color, size}), 1);
  pairs.Insert(kvotest::Join({StrCells("red", 8), NumCells(1.0)}).data())->num = 10.0;
  ObsVecMap singles(ObsVecMap::MakeKeySpec(ds, {size}), 1);
  for (double s : {1.0, 2.0}) singles.Insert(NumCells(s).data())->num = 100.0 * s;
  const std::vector<int> pairVars = {color, size};
  const std::vector<int> singleVars = {size};
  const std::vector<VORM_Format> formats = {VORM_Format(VORM_Format::A, 8, 0),
                                            VORM_Format(VORM_Format::F, 8, 0)};
  KVOVarValidSpecs specs;
  const int r1 = specs.AddMatrixSpec(&pairVars, &pairs, &formats, 3, true);
  const int r2 = specs.AddMatrixSpec(&singleVars, &singles, &formats, 4, true);
  KVOInputAdapter adapter(&specs, ds);
  EXPECT_EQ(adapter.GetNMatrixSpecs(), 2);
  EXPECT_EQ(adapter.GetNContVars(), 2);
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) {
      ASSERT_NE(adapter.AdjustForDSIterator(false), nullptr);
    }
    double record[2] = {555.0, 555.0};
    Step(adapter);
    EXPECT_TRUE(adapter.RecodeMatrixSpecs(record));
    EXPECT_EQ(record[r1], 10.0);
    EXPECT_EQ(record[r2], 100.0);
    // (red, 2) has no specification: the later matrix is not recoded.
    record[r2] = 555.0;
    Step(adapter);
    EXPECT_FALSE(adapter.RecodeMatrixSpecs(record));
    EXPECT_EQ(record[r1], SYSMIS);
    EXPECT_EQ(record[r2], 555.0);
    const std::vector<standin::HostMessage> messages = standin::Messages();
    ASSERT_EQ(messages.size(), 1u) << "pass " << pass;
    EXPECT_EQ(messages[0].fLevel, 3);
    EXPECT_EQ(messages[0].fText.rfind("No specification for matrix in subcommand group 3", 0), 0u);
  }
}

TEST_F(KVOInputAdapterTest, LookupsGiveTheirOrResultForBadIndicesAndOtherKinds) {
  KVOVarValidSpecs specs;
  const int rc = specs.AddVariable(color, true);
  const int ri = specs.AddVariable(income, false);
  const int rf = specs.AddFreeVariable(false);
  const int rw = specs.SetWeightVar();
  KVOInputAdapter adapter(&specs, ds);

  ASSERT_NE(adapter.GetCatRecAdapter(rc), nullptr);
  EXPECT_EQ(adapter.GetCatAdapter(color), adapter.GetCatRecAdapter(rc));
  EXPECT_EQ(adapter.GetCatAdapters(), std::vector<KVOCatVarAdapter*>{adapter.GetCatRecAdapter(rc)});
  EXPECT_EQ(adapter.GetContAdapter(income), adapter.GetContRecAdapter(ri));
  EXPECT_EQ(adapter.GetContAdapters(), std::vector<KVOContVarAdapter*>{adapter.GetContRecAdapter(ri)});
  for (int bad : {-1, rf, rw, 4}) {
    EXPECT_EQ(adapter.GetCatRecAdapter(bad), nullptr) << bad;
    EXPECT_EQ(adapter.GetContRecAdapter(bad), nullptr) << bad;
    EXPECT_EQ(adapter.GetRecordCatVarSize(bad), 0) << bad;
    EXPECT_EQ(adapter.GetRecordCatObs(bad), nullptr) << bad;
    EXPECT_EQ(adapter.GetRecMinValue(bad), SYSMIS) << bad;
    EXPECT_EQ(adapter.GetRecMaxValue(bad), SYSMIS) << bad;
  }
  // Each kind refuses the other; a host variable without a slot has nothing.
  EXPECT_EQ(adapter.GetCatRecAdapter(ri), nullptr);
  EXPECT_EQ(adapter.GetContRecAdapter(rc), nullptr);
  EXPECT_EQ(adapter.GetRecMinValue(rc), SYSMIS);
  EXPECT_FALSE(adapter.ReorderRecordCats(ri, true));
  EXPECT_EQ(adapter.GetCatVarSize(size), 0);
  EXPECT_EQ(adapter.GetCategoryObs(size), nullptr);
  EXPECT_EQ(adapter.DecodeCatValueX(size, 0), nullptr);
  EXPECT_EQ(adapter.GetContMinValue(size), SYSMIS);
  EXPECT_EQ(adapter.GetContMaxValue(size), SYSMIS);

  // Values given by hand: a new value gets the next code only when adding.
  bool newValue = false;
  EXPECT_EQ(adapter.EncodeRecordCatValue(ri, StrCells("red", 8).data(), newValue, true), -1);
  EXPECT_EQ(adapter.DecodeRecordCatValue(rc, 0), nullptr);
  EXPECT_EQ(adapter.EncodeCatValue(color, StrCells("red", 8).data(), newValue, true), 0);
  EXPECT_TRUE(newValue);
  EXPECT_EQ(adapter.EncodeCatValue(color, StrCells("red", 8).data(), newValue, true), 0);
  EXPECT_FALSE(newValue);
  EXPECT_EQ(adapter.EncodeRecordCatValue(rc, StrCells("blue", 8).data(), newValue, false), -1);
  EXPECT_TRUE(newValue);
  EXPECT_EQ(adapter.EncodeRecordCatValue(rc, StrCells("blue", 8).data(), newValue, true), 1);
  EXPECT_EQ(adapter.EncodeRecordCatValue(rc, StrCells("apple", 8).data(), newValue, true), 2);

  int vormInd = 99;
  EXPECT_EQ(Bytes(adapter.DecodeCatValue(rc, 1, vormInd), 8), "blue    ");
  EXPECT_EQ(vormInd, color);
  EXPECT_EQ(adapter.DecodeCatValue(rc, 3, vormInd), nullptr);
  EXPECT_EQ(vormInd, -1);
  EXPECT_EQ(adapter.DecodeCatValue(ri, 0, vormInd), nullptr);
  EXPECT_EQ(Bytes(adapter.DecodeCatValueX(color, 0), 8), "red     ");
  EXPECT_EQ(adapter.GetRecordCatObs(rc)->size(), 3u);

  EXPECT_TRUE(adapter.ReorderCategories(color, true));
  EXPECT_EQ(Bytes(adapter.DecodeRecordCatValue(rc, 0), 8), "apple   ");
  EXPECT_EQ(Bytes(adapter.DecodeRecordCatValue(rc, 2), 8), "red     ");
  EXPECT_TRUE(adapter.ReorderRecordCats(rc, false));
  EXPECT_EQ(Bytes(adapter.DecodeRecordCatValue(rc, 0), 8), "red     ");
}

TEST_F(KVOInputAdapterTest, NewPassRebindsKeptAdaptersAndNoPassFollowsTheLast) {
  AddRow(ds, {std::string("red"), 1.0, 5.0});
  AddRow(ds, {std::string("blue"), 1.0, 7.0});
  KVOVarValidSpecs specs;
  const int rc = specs.AddVariable(color, true);
  const int ri = specs.AddVariable(income, false);
  HookCountingAdapter adapter(&specs, ds);
  double record[2];
  for (int i = 0; i < 2; ++i) {
    Step(adapter);
    EXPECT_TRUE(adapter.EncodeCatVars(record));
    EXPECT_TRUE(adapter.GetContVars(record));
    adapter.IncrNCases();
  }
  KVOCatVarAdapter* catAdapter = adapter.GetCatRecAdapter(rc);
  KVOContVarAdapter* contAdapter = adapter.GetContRecAdapter(ri);

  ProcDSIterator* second = adapter.AdjustForDSIterator(false);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(adapter.GetDSIterator(), second);
  EXPECT_EQ(adapter.GetDataPassCount(), 1);
  EXPECT_EQ(adapter.fNewPasses, 1);
  EXPECT_EQ(adapter.GetNCases(), 0);
  EXPECT_EQ(adapter.GetCatRecAdapter(rc), catAdapter);  // re-bound, not re-created
  EXPECT_EQ(adapter.GetContRecAdapter(ri), contAdapter);
  Step(adapter);  // the new iterator's first case, replayed
  EXPECT_TRUE(adapter.EncodeCatVars(record));
  EXPECT_EQ(record[rc], 0.0);
  EXPECT_TRUE(AssertsFrom("KVOInputAdapter").empty());

  adapter.SetLastDataPass();
  adapter.AdjustForDSIterator(false);
  EXPECT_EQ(AssertsFrom("KVOInputAdapter"), (std::vector<std::string>{"!GetLastDataPass()"}));
}

TEST_F(KVOInputAdapterTest, WithoutHostIteratorNoAdapterIsMadeAndTheNewPassFails) {
  ds.SetRefuseIterators(true);
  KVOVarValidSpecs specs;
  const int rc = specs.AddVariable(color, true);
  KVOInputAdapter adapter(&specs, ds);
  EXPECT_EQ(adapter.GetDSIterator(), nullptr);
  EXPECT_EQ(adapter.GetCatRecAdapter(rc), nullptr);
  double record[1] = {3.0};
  EXPECT_FALSE(adapter.EncodeCatVars(record));
  EXPECT_EQ(record[0], 3.0);
  EXPECT_EQ(adapter.AdjustForDSIterator(false), nullptr);
  EXPECT_EQ(adapter.GetDataPassCount(), 1);
}

// The variable list or the data source changes once the adapter exists;
// both passes through the data-pass iterator must follow it and agree on
// the case set. Cases: (red, 1, 5), (blue, 9, 7), (red, 2, missing),
// (green, 1, 8); size's user-missing 9 is excluded and not allowed, so the
// second case is rejected unless a change says otherwise.
TEST_F(KVOInputAdapterTest, PassesFollowTheSpecificationAsItIsWhenTheyStart) {
  AddRow(ds, {std::string("red"), 1.0, 5.0});
  AddRow(ds, {std::string("blue"), 9.0, 7.0});
  AddRow(ds, {std::string("red"), 2.0, SYSMIS});
  AddRow(ds, {std::string("green"), 1.0, 8.0});
  using Change = std::function<void(KVOVarValidSpecs&, KVOInputAdapter&)>;
  const int c = color, s = size, i = income;
  const Change incomeNoMissing = [i](KVOVarValidSpecs& specs, KVOInputAdapter&) {
    specs.AddVariable(i, false, false, true, true);
  };
  const Change sizeUserMissingValid = [s](KVOVarValidSpecs& specs, KVOInputAdapter&) {
    specs.AddVariable(s, true, false, false, true);
  };
  const Change colorContinuous = [c](KVOVarValidSpecs& specs, KVOInputAdapter&) {
    specs.AddVariable(c, false);
  };
  const Change lastPass = [](KVOVarValidSpecs&, KVOInputAdapter& adapter) { adapter.SetLastDataPass(); };
  const struct {
    const char* fWhat;
    int fRecords[2];
    int fIterators;
    std::vector<std::string> fAsserts;
    Change fChange;  // after the adapter is made, before the first pass
  } cases[] = {
      {"income re-added without missing values allowed", {2, 2}, 2, {}, incomeNoMissing},
      {"size re-added with user-missing values as data", {4, 4}, 2, {}, sizeUserMissingValid},
      {"color re-added as continuous", {3, 3}, 2, {}, colorContinuous},
      {"the last pass declared before the first", {3, 0}, 1, {"!GetLastDataPass()"}, lastPass},
      // The data source gives the adapter no first iterator.
      {"the first iterator refused", {3, 3}, 2, {}, nullptr},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.fWhat);
    standin::ClearAssertReports();
    ds.ResetPasses();
    const int created = ds.IteratorsCreated();
    KVOVarValidSpecs specs;
    const int rc = specs.AddVariable(color, true);
    specs.AddVariable(size, true, false, true, true);
    const int ri = specs.AddVariable(income, false);
    ds.SetRefuseIterators(!t.fChange);
    KVOInputAdapter adapter(&specs, ds);
    ds.SetRefuseIterators(false);
    if (t.fChange) t.fChange(specs, adapter);

    KVOProcDataSourceIter iter(adapter, false);
    for (int pass = 0; pass < 2; ++pass) {
      int records = 0;
      if (iter.NewPass() == 0) {
        while (iter.Next() != nullptr) ++records;
      }
      EXPECT_EQ(records, t.fRecords[pass]) << "pass " << pass;
    }
    EXPECT_EQ(ds.IteratorsCreated() - created, t.fIterators);
    EXPECT_EQ(AssertsFrom("KVOInputAdapter"), t.fAsserts);
    // Lookups answer for the slot's own adapter only: income's range, and
    // nothing continuous for the color slot, whatever its descriptor says.
    EXPECT_EQ(adapter.GetRecMinValue(ri), 5.0);
    EXPECT_EQ(adapter.GetContRecAdapter(rc), nullptr);
    EXPECT_EQ(adapter.GetRecMinValue(rc), SYSMIS);
  }
}

// --- Reordering of code lists --------------------------------------------------

class KVOInputAdapterReorderTest : public KVOInputAdapterTest {
 protected:
  void SetUp() override {
    KVOInputAdapterTest::SetUp();
    city = ds.AddString("city", 20);
    rc = specs.AddVariable(color, true);
    rs = specs.AddVariable(size, true);
    ri = specs.AddVariable(income, false);
    rt = specs.AddVariable(city, true);
    adapter = std::make_unique<KVOInputAdapter>(&specs, ds);
    // color: b -> 0, a -> 1; size: 2 -> 0, 9 -> 1, 1 -> 2.
    bool newValue = false;
    for (const char* text : {"b", "a"})
      adapter->EncodeCatValue(color, StrCells(text, 8).data(), newValue, true);
    for (double value : {2.0, 9.0, 1.0})
      adapter->EncodeCatValue(size, NumCells(value).data(), newValue, true);
  }

  int city = -1, rc = -1, rs = -1, ri = -1, rt = -1;
  KVOVarValidSpecs specs;
  std::unique_ptr<KVOInputAdapter> adapter;
};

TEST_F(KVOInputAdapterReorderTest, ListsTakeTheOrderOfTheirValueCombinations) {
  // (b, 2), (a, 9), (a, 1) become (a, 1), (a, 9), (b, 2), by slot and by host index.
  const std::vector<std::vector<int>> original = {{0, 0}, {1, 1}, {1, 2}};
  const std::vector<std::vector<int>> sorted = {{1, 2}, {1, 1}, {0, 0}};
  std::vector<std::vector<int>> lists = original;
  EXPECT_TRUE(adapter->ReorderEncodedRecordCats({rc, rs}, lists));
  EXPECT_EQ(lists, sorted);
  lists = original;
  EXPECT_TRUE(adapter->ReorderEncodedCats({color, size}, lists));
  EXPECT_EQ(lists, sorted);

  // Slot order decides: size first gives (1, a), (2, b), (9, a).
  lists = {{0, 0}, {1, 1}, {2, 1}};
  EXPECT_TRUE(adapter->ReorderEncodedRecordCats({rs, rc}, lists));
  EXPECT_EQ(lists, (std::vector<std::vector<int>>{{2, 1}, {0, 0}, {1, 1}}));

  // Every cell of a long string takes part: these differ in byte 20 only.
  bool newValue = false;
  adapter->EncodeCatValue(city, StrCells("Amsterdam North Quay", 20).data(), newValue, true);
  adapter->EncodeCatValue(city, StrCells("Amsterdam North Quai", 20).data(), newValue, true);
  lists = {{0}, {1}};
  EXPECT_TRUE(adapter->ReorderEncodedRecordCats({rt}, lists));
  EXPECT_EQ(lists, (std::vector<std::vector<int>>{{1}, {0}}));
  EXPECT_TRUE(AssertsFrom("KVOInputAdapter").empty());
}

TEST_F(KVOInputAdapterReorderTest, EveryFailureLeavesTheListsUnchanged) {
  const std::vector<std::vector<int>> original = {{0, 0}, {1, 1}};
  std::vector<std::vector<int>> lists = original;
  std::vector<std::vector<int>> none;
  EXPECT_FALSE(adapter->ReorderEncodedRecordCats({}, lists));
  EXPECT_FALSE(adapter->ReorderEncodedRecordCats({rc, rs}, none));
  EXPECT_TRUE(AssertsFrom("KVOInputAdapter").empty());

  const struct {
    std::vector<int> fSlots;
    std::vector<std::vector<int>> fLists;
    const char* fAssert;
  } cases[] = {
      {{rc, ri}, {{0, 0}, {1, 1}}, "pVarDesc != 0 && pVarDesc->GetCatVar()"},
      {{rc, 17}, {{0, 0}, {1, 1}}, "pVarDesc != 0 && pVarDesc->GetCatVar()"},
      {{rc, rs}, {{0, 0}, {1}}, "encodedCats[iCatList].size() == nCatVars"},
      {{rc, rs}, {{0, 0}, {1, 7}}, "pCurrentObs != 0"},
      {{rc, rs}, {{0, 0}, {1, -1}}, "pCurrentObs != 0"},
      {{rc, rs}, {{1, 1}, {0, 0}, {1, 1}}, "pValueMap->Contains(pDestObs) == 0"},
  };
  for (const auto& c : cases) {
    standin::ClearAssertReports();
    lists = c.fLists;
    EXPECT_FALSE(adapter->ReorderEncodedRecordCats(c.fSlots, lists)) << c.fAssert;
    EXPECT_EQ(lists, c.fLists) << c.fAssert;
    EXPECT_EQ(AssertsFrom("KVOInputAdapter"), std::vector<std::string>{c.fAssert});
  }
  // A host variable without a slot.
  lists = original;
  EXPECT_FALSE(adapter->ReorderEncodedCats({color, w}, lists));
  EXPECT_EQ(lists, original);
}

}  // namespace
