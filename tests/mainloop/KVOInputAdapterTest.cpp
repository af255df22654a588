// The input adapter's per-case steps, counters, data passes, lookups and the
// reordering of code lists, each driven directly over an in-memory host.
#include <gtest/gtest.h>
#include <kvoadapter/KVOInputAdapter.h>
#include <vorm/ObsVecMap.h>

#include <memory>

#include "MainLoopTestSupport.h"

namespace {

using mainloop_test::AddRow;
using mainloop_test::AssertsFrom;
using mainloop_test::NumberCell;
using mainloop_test::StringCells;
using mainloop_test::StringOf;
using mainloop_test::SYSMIS;

// An adapter that counts its pass and split hooks.
class HookCountingAdapter : public KVOInputAdapter {
 public:
  using KVOInputAdapter::KVOInputAdapter;
  int fNewPasses = 0;
  int fNewSplits = 0;

 protected:
  void PrepareNewPass() override { ++fNewPasses; }
  void PrepareNewSplit() override { ++fNewSplits; }
};

class KVOInputAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    color = ds.AddString("color", 8);
    ds.Spec(color).fMissingStrings = {"none"};
    size = ds.AddNumeric("size", standin::Measure::Nominal);
    ds.Spec(size).fMissingNumbers = {9};
    income = ds.AddNumeric("income");
    ds.Spec(income).fMissingNumbers = {99};
    w = ds.AddNumeric("w");
  }

  // Moves the adapter's host iterator to its next case.
  static void Step(KVOInputAdapter& adapter) { ASSERT_NE(adapter.GetDSIterator()->NextCase(), 0); }

  mainloop_test::QuietHost quiet;
  standin::MemoryDataSource ds;
  int color = -1, size = -1, income = -1, w = -1;
};

TEST_F(KVOInputAdapterTest, RecordSizeAndShapeCountEverySlotKind) {
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
  EXPECT_EQ(adapter.GetNMatrixSpecs(), 0);
  EXPECT_EQ(adapter.GetAdaptInds(), (std::vector<int>{0, 1, 0, -1, -1, -1}));
  EXPECT_TRUE(adapter.IsWeightVarSet());
  EXPECT_TRUE(adapter.IsCaseCountSet());
  EXPECT_FALSE(adapter.IsGlobalCountSet());
  EXPECT_FALSE(adapter.GetStrongListWise());
  EXPECT_EQ(adapter.GetDataPassCount(), 0);
  EXPECT_EQ(adapter.GetNSplitData(), 1);
  EXPECT_NE(adapter.GetDSIterator(), nullptr);
  EXPECT_EQ(adapter.GetWeightAdjType(), WeightRound);
  EXPECT_TRUE(AssertsFrom("KVOInputAdapter").empty());
}

TEST_F(KVOInputAdapterTest, WithoutSpecificationTheAdapterReportsAndStaysInert) {
  AddRow(ds, {std::string("red"), 1.0});
  KVOInputAdapter adapter(nullptr, ds);
  EXPECT_EQ(AssertsFrom("KVOInputAdapter"), (std::vector<std::string>{"fpValidSpecs != 0"}));
  EXPECT_EQ(adapter.GetRecordSize(), 0);
  EXPECT_EQ(adapter.GetNSplitData(), 0);
  EXPECT_EQ(adapter.GetNCases(), 0);
  EXPECT_EQ(adapter.GetCatRecAdapter(0), nullptr);
  EXPECT_TRUE(adapter.GetCatAdapters().empty());
  double record[1] = {7.0};
  EXPECT_TRUE(adapter.EncodeCatVars(record));
  EXPECT_TRUE(adapter.FillFreeVars(record));
  EXPECT_EQ(record[0], 7.0);
}

TEST_F(KVOInputAdapterTest, EncodeCatVarsJudgesMissingCodesByTheCurrentModesFlag) {
  AddRow(ds, {std::string("red"), 1.0});
  AddRow(ds, {std::string("blue"), SYSMIS});
  AddRow(ds, {std::string("none"), 9.0});
  AddRow(ds, {std::string("red"), 2.0});
  KVOVarValidSpecs specs;
  const int rc =
      specs.AddVariable(color, true, /*procSysMiss=*/true, /*exclUserMiss=*/true, /*scoreSysMiss=*/true);
  const int rs =
      specs.AddVariable(size, true, /*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/true);
  KVOInputAdapter adapter(&specs, ds);
  double record[2];

  Step(adapter);
  EXPECT_TRUE(adapter.EncodeCatVars(record));
  EXPECT_EQ(record[rc], 0.0);
  EXPECT_EQ(record[rs], 0.0);

  // A system-missing value the variable does not allow: the slot gets the
  // system-missing value and the other slot is still filled.
  Step(adapter);
  EXPECT_FALSE(adapter.EncodeCatVars(record));
  EXPECT_EQ(record[rc], 1.0);
  EXPECT_EQ(record[rs], SYSMIS);

  // Excluded user-missing values: allowed for color (-1), not for size.
  Step(adapter);
  EXPECT_FALSE(adapter.EncodeCatVars(record));
  EXPECT_EQ(record[rc], -1.0);
  EXPECT_EQ(record[rs], SYSMIS);
  // A scoring pass judges size by its scoring flag, which allows it.
  adapter.SetScoreIteration(true);
  EXPECT_TRUE(adapter.EncodeCatVars(record));
  EXPECT_EQ(record[rs], -1.0);
  adapter.SetScoreIteration(false);

  Step(adapter);
  EXPECT_TRUE(adapter.EncodeCatVars(record));
  EXPECT_EQ(record[rc], 0.0);
  EXPECT_EQ(record[rs], 1.0);
  EXPECT_EQ(adapter.GetRecordCatVarSize(rc), 2);
  EXPECT_EQ(adapter.GetCatVarSize(size), 2);
}

TEST_F(KVOInputAdapterTest, GetContVarsDeliversValuesAndJudgesMissingByTheCurrentMode) {
  AddRow(ds, {std::string("x"), 3.0, 10.0});
  AddRow(ds, {std::string("x"), 9.0, 99.0});
  AddRow(ds, {std::string("x"), SYSMIS, SYSMIS});
  KVOVarValidSpecs specs;
  const int ri =
      specs.AddVariable(income, false, /*procSysMiss=*/true, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
  const int rs =
      specs.AddVariable(size, false, /*procSysMiss=*/false, /*exclUserMiss=*/false, /*scoreSysMiss=*/true);
  KVOInputAdapter adapter(&specs, ds);
  double record[2];

  Step(adapter);
  EXPECT_TRUE(adapter.GetContVars(record));
  EXPECT_EQ(record[ri], 10.0);
  EXPECT_EQ(record[rs], 3.0);

  // income's user-missing 99 is excluded but allowed; size's 9 counts as data.
  Step(adapter);
  EXPECT_TRUE(adapter.GetContVars(record));
  EXPECT_EQ(record[ri], SYSMIS);
  EXPECT_EQ(record[rs], 9.0);

  Step(adapter);
  EXPECT_FALSE(adapter.GetContVars(record));
  EXPECT_EQ(record[ri], SYSMIS);
  EXPECT_EQ(record[rs], SYSMIS);
  adapter.SetScoreIteration(true);
  EXPECT_FALSE(adapter.GetContVars(record));  // now income refuses it

  EXPECT_EQ(adapter.GetRecMinValue(ri), 10.0);
  EXPECT_EQ(adapter.GetContMaxValue(income), 10.0);
  EXPECT_EQ(adapter.GetContMinValue(size), 3.0);
  EXPECT_EQ(adapter.GetRecMaxValue(rs), 9.0);
}

TEST_F(KVOInputAdapterTest, ProcessWeightRoundsTruncatesOrTakesWeightsAsTheyAre) {
  ASSERT_TRUE(ds.SetWeightVariable(w));
  ds.SetWeightFilter(false);
  const std::vector<double> weights = {0.49, 0.5, 2.5, 2.51, 0.0, -1.0, SYSMIS};
  for (double weight : weights) AddRow(ds, {std::string("a"), 1.0, 1.0, weight});
  KVOVarValidSpecs specs;
  specs.AddVariable(size, true);
  const int rw = specs.SetWeightVar();
  KVOInputAdapter adapter(&specs, ds);

  struct Expected {
    double fValue;
    bool fbOk;
  };
  // Per weight: round, truncate, as is.
  const std::vector<std::vector<Expected>> expected = {
      {{0.0, false}, {0.0, false}, {0.49, true}}, {{1.0, true}, {0.0, false}, {0.5, true}},
      {{3.0, true}, {2.0, true}, {2.5, true}},    {{3.0, true}, {2.0, true}, {2.51, true}},
      {{0.0, false}, {0.0, false}, {0.0, false}}, {{0.0, false}, {0.0, false}, {0.0, false}},
      {{0.0, false}, {0.0, false}, {0.0, false}},
  };
  const WeightAdjType types[] = {WeightRound, WeightTruncate, WeightAsIs, static_cast<WeightAdjType>(7)};
  for (size_t c = 0; c < weights.size(); ++c) {
    Step(adapter);
    for (size_t t = 0; t < 4; ++t) {
      const Expected& want = expected[c][t < 3 ? t : 2];  // other values act as WeightAsIs
      adapter.SetWeightAdjType(types[t]);
      double record[2] = {5.0, 77.0};
      EXPECT_EQ(adapter.ProcessWeight(record), want.fbOk) << "weight " << weights[c] << " type " << t;
      EXPECT_EQ(record[rw], want.fValue) << "weight " << weights[c] << " type " << t;
      EXPECT_EQ(record[0], 5.0);
    }
  }

  // Without a weight slot nothing is written and the case is usable.
  KVOVarValidSpecs plain;
  plain.AddVariable(size, true);
  KVOInputAdapter unweighted(&plain, ds);
  Step(unweighted);
  double record[1] = {5.0};
  EXPECT_TRUE(unweighted.ProcessWeight(record));
  EXPECT_EQ(record[0], 5.0);
}

TEST_F(KVOInputAdapterTest, WeightFilterIsTurnedOffOnlyForScoringAndRestored) {
  ASSERT_TRUE(ds.SetWeightVariable(w));
  KVOVarValidSpecs specs;
  specs.AddVariable(size, true);

  ds.SetWeightFilter(true);
  {
    KVOInputAdapter adapter(&specs, ds);
    EXPECT_TRUE(ds.GetWeightFilter());
    adapter.SetScoreIteration(true);
    EXPECT_TRUE(adapter.GetScoreIteration());
    EXPECT_FALSE(ds.GetWeightFilter());
    adapter.SetScoreIteration(false);
    EXPECT_TRUE(ds.GetWeightFilter());
    adapter.AdjustForDSIterator(true);
    EXPECT_FALSE(ds.GetWeightFilter());
    adapter.AdjustForDSIterator(false);
    EXPECT_TRUE(ds.GetWeightFilter());
    adapter.SetScoreIteration(true);
  }
  EXPECT_TRUE(ds.GetWeightFilter());  // the destructor restores the host's setting

  // A host that filters nothing is left so.
  ds.SetWeightFilter(false);
  {
    KVOInputAdapter adapter(&specs, ds);
    adapter.SetScoreIteration(true);
    EXPECT_FALSE(ds.GetWeightFilter());
    adapter.SetScoreIteration(false);
    EXPECT_FALSE(ds.GetWeightFilter());
  }

  // Unweighted data: the filter is never touched.
  standin::MemoryDataSource unweighted;
  const int v = unweighted.AddNumeric("v");
  unweighted.SetWeightFilter(true);
  KVOVarValidSpecs specsV;
  specsV.AddVariable(v, true);
  {
    KVOInputAdapter adapter(&specsV, unweighted);
    adapter.SetScoreIteration(true);
    EXPECT_TRUE(unweighted.GetWeightFilter());
  }
}

TEST_F(KVOInputAdapterTest, CountersAddOneOrTheRecordsWeight) {
  KVOVarValidSpecs specs;
  specs.AddVariable(size, true);
  const int rw = specs.SetWeightVar();
  KVOInputAdapter adapter(&specs, ds);
  double record[2] = {0.0, 0.0};
  record[rw] = 2.5;
  adapter.IncrNCases();
  adapter.IncrNCases();
  adapter.IncrNRecords();
  adapter.IncrNValidCases();
  adapter.IncrNInvalidCases();
  adapter.IncrWeightNCases(record);
  adapter.IncrWeightNCases(record);
  adapter.IncrWeightNValidCases(record);
  record[rw] = 0.5;
  adapter.IncrWeightNInvalidCases(record);
  EXPECT_EQ(adapter.GetNCases(), 2);
  EXPECT_EQ(adapter.GetNRecords(), 1);
  EXPECT_EQ(adapter.GetNValidCases(), 1);
  EXPECT_EQ(adapter.GetNInvalidCases(), 1);
  EXPECT_EQ(adapter.GetWeightNCases(), 5.0);
  EXPECT_EQ(adapter.GetWeightNValidCases(), 2.5);
  EXPECT_EQ(adapter.GetWeightNInvalidCases(), 0.5);

  KVOVarValidSpecs plain;
  plain.AddVariable(size, true);
  KVOInputAdapter unweighted(&plain, ds);
  double one[1] = {42.0};
  unweighted.IncrWeightNCases(one);
  unweighted.IncrWeightNValidCases(one);
  unweighted.IncrWeightNInvalidCases(one);
  EXPECT_EQ(unweighted.GetWeightNCases(), 1.0);
  EXPECT_EQ(unweighted.GetWeightNValidCases(), 1.0);
  EXPECT_EQ(unweighted.GetWeightNInvalidCases(), 1.0);
}

TEST_F(KVOInputAdapterTest, CaseCountersTakeTheGroupsCountAndTheHostsCaseNumber) {
  for (int i = 0; i < 3; ++i) AddRow(ds, {std::string("a"), 1.0});
  KVOVarValidSpecs specs;
  const int rl = specs.SetCaseCount();
  const int rg = specs.SetGlobalCount();
  KVOInputAdapter adapter(&specs, ds);
  for (int i = 0; i < 3; ++i) {
    Step(adapter);
    adapter.IncrNCases();
  }
  double record[2] = {-5.0, -5.0};
  EXPECT_TRUE(adapter.StoreCaseCount(record));
  EXPECT_TRUE(adapter.StoreGlobalCount(record));
  EXPECT_EQ(record[rl], 2.0);  // zero-based: the third case read
  EXPECT_EQ(record[rg], 3.0);  // the host numbers cases from 1

  KVOVarValidSpecs plain;
  plain.AddVariable(size, true);
  KVOInputAdapter without(&plain, ds);
  Step(without);
  double one[1] = {-5.0};
  EXPECT_FALSE(without.StoreCaseCount(one));
  EXPECT_FALSE(without.StoreGlobalCount(one));
  EXPECT_EQ(one[0], -5.0);
}

TEST_F(KVOInputAdapterTest, StrongListwiseTestsStopAtTheFirstDisallowedInvalidValue) {
  AddRow(ds, {std::string("none"), 1.0, 5.0});
  AddRow(ds, {std::string("red"), SYSMIS, 5.0});
  AddRow(ds, {std::string("red"), 1.0, SYSMIS});
  AddRow(ds, {std::string("red"), 9.0, 5.0});
  ObsVecMap map(ObsVecMap::MakeKeySpec(ds, {size}), 1);
  const OBS one = NumberCell(1.0);
  map.Insert(&one)->num = 10.0;
  const std::vector<int> matrixVars = {size};
  const std::vector<VORM_Format> formats = {VORM_Format(VORM_Format::F, 8, 0)};

  KVOVarValidSpecs specs;
  specs.SetStrongListWise(true);
  specs.AddVariable(color, true, /*procSysMiss=*/true, true, true);
  specs.AddVariable(size, true, /*procSysMiss=*/false, true, /*scoreSysMiss=*/true);
  specs.AddVariable(income, false, /*procSysMiss=*/false, true, true);
  specs.AddMatrixSpec(&matrixVars, &map, &formats, 1, /*exclUserMiss=*/true);
  KVOInputAdapter adapter(&specs, ds);
  EXPECT_TRUE(adapter.GetStrongListWise());

  Step(adapter);  // color invalid but allowed
  EXPECT_TRUE(adapter.UpdateValidCatVars());
  EXPECT_TRUE(adapter.UpdateValidContVars());
  EXPECT_TRUE(adapter.UpdateValidMatrixVars());

  Step(adapter);  // size system-missing
  EXPECT_FALSE(adapter.UpdateValidCatVars());
  EXPECT_FALSE(adapter.UpdateValidMatrixVars());
  adapter.SetScoreIteration(true);
  EXPECT_TRUE(adapter.UpdateValidCatVars());
  EXPECT_FALSE(adapter.UpdateValidMatrixVars());  // matrices know no modes
  adapter.SetScoreIteration(false);

  Step(adapter);  // income system-missing
  EXPECT_TRUE(adapter.UpdateValidCatVars());
  EXPECT_FALSE(adapter.UpdateValidContVars());
  EXPECT_TRUE(adapter.UpdateValidMatrixVars());

  Step(adapter);  // size user-missing, excluded
  EXPECT_FALSE(adapter.UpdateValidCatVars());
  EXPECT_FALSE(adapter.UpdateValidMatrixVars());
}

TEST_F(KVOInputAdapterTest, FreeSlotsReceiveTheMissingValueOfTheirKind) {
  KVOVarValidSpecs specs;
  const int rCont = specs.AddFreeVariable(true);
  const int rCat = specs.AddFreeVariable(false);
  KVOInputAdapter adapter(&specs, ds);
  double record[2] = {1.0, 1.0};
  EXPECT_TRUE(adapter.FillFreeVars(record));
  EXPECT_EQ(record[rCont], SYSMIS);
  EXPECT_EQ(record[rCat], -1.0);
}

TEST_F(KVOInputAdapterTest, BadMatrixCombinationIsReportedInTheFirstPassOnly) {
  AddRow(ds, {std::string("red"), 1.0});
  AddRow(ds, {std::string("red"), 2.0});
  AddRow(ds, {std::string("blue"), 2.0});
  ObsVecMap pairs(ObsVecMap::MakeKeySpec(ds, {color, size}), 1);
  auto addPair = [&](const std::string& c, double s, double value) {
    std::vector<OBS> key = StringCells(c, 8);
    key.push_back(NumberCell(s));
    pairs.Insert(key.data())->num = value;
  };
  addPair("red", 1.0, 10.0);
  addPair("blue", 2.0, 20.0);
  ObsVecMap singles(ObsVecMap::MakeKeySpec(ds, {size}), 1);
  for (double s : {1.0, 2.0}) {
    const OBS key = NumberCell(s);
    singles.Insert(&key)->num = 100.0 * s;
  }
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

    Step(adapter);
    EXPECT_TRUE(adapter.RecodeMatrixSpecs(record));
    EXPECT_EQ(record[r1], 20.0);
    EXPECT_EQ(record[r2], 200.0);

    const std::vector<standin::HostMessage> messages = standin::Messages();
    ASSERT_EQ(messages.size(), 1u) << "pass " << pass;
    EXPECT_EQ(messages[0].fLevel, 3);
    EXPECT_EQ(messages[0].fText.rfind("No specification for matrix in subcommand group 3", 0), 0u)
        << messages[0].fText;
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
  ASSERT_NE(adapter.GetContRecAdapter(ri), nullptr);
  EXPECT_EQ(adapter.GetContAdapter(income), adapter.GetContRecAdapter(ri));
  EXPECT_EQ(adapter.GetContAdapters(), std::vector<KVOContVarAdapter*>{adapter.GetContRecAdapter(ri)});
  for (int bad : {-1, rf, rw, 4, 100}) {
    EXPECT_EQ(adapter.GetCatRecAdapter(bad), nullptr) << bad;
    EXPECT_EQ(adapter.GetContRecAdapter(bad), nullptr) << bad;
    EXPECT_EQ(adapter.GetRecordCatVarSize(bad), 0) << bad;
    EXPECT_EQ(adapter.GetRecordCatObs(bad), nullptr) << bad;
    EXPECT_EQ(adapter.GetRecMinValue(bad), SYSMIS) << bad;
    EXPECT_EQ(adapter.GetRecMaxValue(bad), SYSMIS) << bad;
  }
  // Each kind refuses the other.
  EXPECT_EQ(adapter.GetCatRecAdapter(ri), nullptr);
  EXPECT_EQ(adapter.GetContRecAdapter(rc), nullptr);
  EXPECT_EQ(adapter.GetRecMinValue(rc), SYSMIS);
  EXPECT_FALSE(adapter.ReorderRecordCats(ri, true));
  EXPECT_EQ(adapter.GetCatVarSize(size), 0);  // no slot
  EXPECT_EQ(adapter.GetCategoryObs(size), nullptr);
  EXPECT_EQ(adapter.DecodeCatValueX(size, 0), nullptr);

  const std::vector<OBS> red = StringCells("red", 8);
  const std::vector<OBS> blue = StringCells("blue", 8);
  const std::vector<OBS> apple = StringCells("apple", 8);
  bool newValue = false;
  EXPECT_EQ(adapter.EncodeRecordCatValue(ri, red.data(), newValue, true), -1);
  EXPECT_EQ(adapter.DecodeRecordCatValue(rc, 0), nullptr);
  EXPECT_EQ(adapter.EncodeCatValue(color, red.data(), newValue, true), 0);
  EXPECT_TRUE(newValue);
  EXPECT_EQ(adapter.EncodeCatValue(color, red.data(), newValue, true), 0);
  EXPECT_FALSE(newValue);
  EXPECT_EQ(adapter.EncodeRecordCatValue(rc, blue.data(), newValue, false), -1);
  EXPECT_TRUE(newValue);
  EXPECT_EQ(adapter.EncodeRecordCatValue(rc, blue.data(), newValue, true), 1);
  EXPECT_EQ(adapter.EncodeRecordCatValue(rc, apple.data(), newValue, true), 2);

  int vormInd = 99;
  EXPECT_EQ(StringOf(adapter.DecodeCatValue(rc, 1, vormInd), 8), "blue    ");
  EXPECT_EQ(vormInd, color);
  EXPECT_EQ(adapter.DecodeCatValue(rc, 3, vormInd), nullptr);
  EXPECT_EQ(vormInd, -1);
  EXPECT_EQ(adapter.DecodeCatValue(ri, 0, vormInd), nullptr);
  EXPECT_EQ(vormInd, -1);
  EXPECT_EQ(StringOf(adapter.DecodeCatValueX(color, 0), 8), "red     ");
  EXPECT_EQ(adapter.GetRecordCatObs(rc)->size(), 3u);

  EXPECT_TRUE(adapter.ReorderCategories(color, true));
  EXPECT_EQ(StringOf(adapter.DecodeRecordCatValue(rc, 0), 8), "apple   ");
  EXPECT_EQ(StringOf(adapter.DecodeRecordCatValue(rc, 2), 8), "red     ");
  EXPECT_TRUE(adapter.ReorderRecordCats(rc, false));
  EXPECT_EQ(StringOf(adapter.DecodeRecordCatValue(rc, 0), 8), "red     ");
}

TEST_F(KVOInputAdapterTest, NewPassRebindsKeptAdaptersAndCountsThePass) {
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
  EXPECT_EQ(adapter.GetRecordCatVarSize(rc), 2);

  Step(adapter);  // the new iterator's first case, replayed
  EXPECT_TRUE(adapter.EncodeCatVars(record));
  EXPECT_TRUE(adapter.GetContVars(record));
  EXPECT_EQ(record[rc], 0.0);
  EXPECT_EQ(record[ri], 5.0);
  EXPECT_EQ(adapter.GetRecMaxValue(ri), 7.0);
  EXPECT_TRUE(AssertsFrom("KVOInputAdapter").empty());

  adapter.ClearDSIterator();
  EXPECT_EQ(adapter.GetDSIterator(), nullptr);

  // No pass may start after the last was declared.
  adapter.SetLastDataPass();
  EXPECT_TRUE(adapter.GetLastDataPass());
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
      adapter->EncodeCatValue(color, StringCells(text, 8).data(), newValue, true);
    for (double value : {2.0, 9.0, 1.0}) {
      const OBS cell = NumberCell(value);
      adapter->EncodeCatValue(size, &cell, newValue, true);
    }
  }

  int city = -1, rc = -1, rs = -1, ri = -1, rt = -1;
  KVOVarValidSpecs specs;
  std::unique_ptr<KVOInputAdapter> adapter;
};

TEST_F(KVOInputAdapterReorderTest, ListsTakeTheOrderOfTheirValueCombinations) {
  // (b, 2), (a, 9), (a, 1)
  const std::vector<std::vector<int>> original = {{0, 0}, {1, 1}, {1, 2}};
  std::vector<std::vector<int>> lists = original;
  EXPECT_TRUE(adapter->ReorderEncodedRecordCats({rc, rs}, lists));
  EXPECT_EQ(lists, (std::vector<std::vector<int>>{{1, 2}, {1, 1}, {0, 0}}));  // (a, 1), (a, 9), (b, 2)

  lists = original;
  EXPECT_TRUE(adapter->ReorderEncodedCats({color, size}, lists));
  EXPECT_EQ(lists, (std::vector<std::vector<int>>{{1, 2}, {1, 1}, {0, 0}}));

  // Slot order decides: size first gives (1, a), (2, b), (9, a).
  lists = {{0, 0}, {1, 1}, {2, 1}};
  EXPECT_TRUE(adapter->ReorderEncodedRecordCats({rs, rc}, lists));
  EXPECT_EQ(lists, (std::vector<std::vector<int>>{{2, 1}, {0, 0}, {1, 1}}));

  // Every cell of a long string takes part: these differ in byte 20 only.
  bool newValue = false;
  adapter->EncodeCatValue(city, StringCells("Amsterdam North Quay", 20).data(), newValue, true);
  adapter->EncodeCatValue(city, StringCells("Amsterdam North Quai", 20).data(), newValue, true);
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
  EXPECT_TRUE(none.empty());
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
  standin::ClearAssertReports();
  lists = original;
  EXPECT_FALSE(adapter->ReorderEncodedCats({color, w}, lists));
  EXPECT_EQ(lists, original);
}

}  // namespace
