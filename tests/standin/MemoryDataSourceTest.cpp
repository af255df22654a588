#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "standin/HostControl.h"
#include "standin/MemoryDataSource.h"
#include "support/DataSourceBuilder.h"

namespace {

using kvotest::Num;
using kvotest::SPLIT_MARK;
using kvotest::Str;
using kvotest::SYSMIS;
using standin::Measure;
using standin::MemoryDataSource;

std::unique_ptr<ProcDSIterator> Iterate(MemoryDataSource& ds) {
  return std::unique_ptr<ProcDSIterator>(dynamic_cast<ProcDSIterator*>(ds.NewCaseIterator(0)));
}

std::string StringValue(const ProcDSIterator& it, int index, size_t width) {
  return std::string(it.GetStringValue(index), width);
}

OBS Number(double value) {
  OBS obs;
  obs.num = value;
  return obs;
}

// A string value of a width, blank padded over whole cells.
std::vector<OBS> Text(const std::string& text, int width) {
  std::vector<OBS> cells(static_cast<size_t>(VORM_CellCount(width)));
  std::memset(static_cast<void*>(cells.data()), ' ', cells.size() * sizeof(OBS));
  std::memcpy(static_cast<void*>(cells.data()), text.data(), text.size());
  return cells;
}

TEST(MemoryDataSourceTest, DeclaresVariablesAndFindsNamesWithoutRegardToCase) {
  MemoryDataSource ds;
  EXPECT_EQ(ds.AddNumeric("Age"), 0);
  EXPECT_EQ(ds.AddString("Region", 12), 1);
  EXPECT_EQ(ds.AddNumeric("group", Measure::Ordinal), 2);
  EXPECT_EQ(ds.GetNumVariables(), 3);

  EXPECT_EQ(ds.FindVarIndex("age", 0), 0);
  EXPECT_EQ(ds.FindVarIndex("REGION", 0), 1);
  EXPECT_EQ(ds.FindVarIndex("GrOuP", 0), 2);
  EXPECT_LT(ds.FindVarIndex("weight", 0), 0);
  EXPECT_LT(ds.FindVarIndex(nullptr, 0), 0);

  std::string error;
  EXPECT_EQ(ds.AddNumeric("AGE"), -1);
  EXPECT_NE(ds.LastError().find("'AGE'"), std::string::npos) << ds.LastError();

  const VORM_Variable* age = ds.GetVariable(0);
  const VORM_Variable* region = ds.GetVariable(1);
  ASSERT_NE(age, nullptr);
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(ds.GetVariable(3), nullptr);
  EXPECT_EQ(ds.GetVariable(-1), nullptr);
  EXPECT_STREQ(age->GetName(), "Age");
  EXPECT_EQ(age->GetLabel(), nullptr);
  EXPECT_EQ(age->GetType(), 0);
  EXPECT_EQ(region->GetType(), 12);
  EXPECT_EQ(age->GetFormat(), VORM_Format(VORM_Format::F, 8, 2));
  EXPECT_EQ(region->GetFormat(), VORM_Format(VORM_Format::A, 12, 0));

  EXPECT_FALSE(ds.IsCategorical(0));  // scale
  EXPECT_TRUE(ds.IsCategorical(1));   // nominal
  EXPECT_TRUE(IsCatVar(2, ds));       // ordinal
  EXPECT_FALSE(ds.IsCategorical(7));

  // Layout: one cell for the number, two for the 12-byte string.
  EXPECT_EQ(ds.CellOffset(0), 0u);
  EXPECT_EQ(ds.CellOffset(1), 1u);
  EXPECT_EQ(ds.CellOffset(2), 3u);
  EXPECT_EQ(ds.CellOffset(3), static_cast<size_t>(-1));
  EXPECT_EQ(ds.RowCells(), 4u);
}

TEST(MemoryDataSourceTest, RejectsInvalidDeclarationsWithTheReason) {
  MemoryDataSource ds;
  auto reject = [&ds](const standin::VariableSpec& spec, const std::string& part) {
    std::string error;
    EXPECT_EQ(ds.AddVariable(spec, &error), -1) << spec.fName;
    EXPECT_NE(error.find(part), std::string::npos) << error;
  };
  standin::VariableSpec spec;
  reject(spec, "name");
  spec.fName = "four";
  spec.fMissingNumbers = {1, 2, 3, 4};
  reject(spec, "'four'");
  spec = {};
  spec.fName = "rangeplus2";
  spec.fHasMissingRange = true;
  spec.fMissingLow = 1;
  spec.fMissingHigh = 2;
  spec.fMissingNumbers = {7, 8};
  reject(spec, "at most 1");
  spec.fMissingNumbers.clear();
  spec.fMissingLow = 3;
  reject(spec, "empty");
  spec = {};
  spec.fName = "s";
  spec.fType = 4;
  spec.fHasMissingRange = true;
  reject(spec, "range");
  spec.fHasMissingRange = false;
  spec.fMissingStrings = {"toolong"};
  reject(spec, "wider");
  spec.fMissingStrings.clear();
  spec.fFormat = VORM_Format(VORM_Format::F, 8, 2);
  reject(spec, "A or AHEX");
  spec = {};
  spec.fName = "n";
  spec.fMissingStrings = {"x"};
  reject(spec, "string missing");
  spec.fMissingStrings.clear();
  spec.fMissingNumbers = {SYSMIS};
  reject(spec, "not a defined number");
  spec = {};
  spec.fName = "neg";
  spec.fType = -3;
  reject(spec, "type");
  spec = {};
  spec.fName = "twice";
  spec.fNumericLabels = {{1, "a"}, {1, "b"}};
  reject(spec, "two value labels");
  EXPECT_EQ(ds.AddString("zero", 0), -1);
  EXPECT_EQ(ds.GetNumVariables(), 0);

  EXPECT_EQ(ds.AddNumeric("x"), 0);
  ds.AddCase();
  EXPECT_EQ(ds.AddNumeric("late"), -1);
  EXPECT_NE(ds.LastError().find("before the first case"), std::string::npos);
}

TEST(MemoryDataSourceTest, StoresCasesAndSettersCheckTheirArguments) {
  MemoryDataSource ds;
  const int x = ds.AddNumeric("x");
  const int s = ds.AddString("s", 10);
  EXPECT_FALSE(ds.SetNumber(x, 1.0));  // no case yet
  EXPECT_EQ(ds.AddCase(), 0u);
  EXPECT_EQ(ds.AddCase(41), 1u);
  EXPECT_TRUE(ds.SetNumber(x, 2.5));
  EXPECT_TRUE(ds.SetString(s, "abcdefghijKL"));  // cut to 10
  EXPECT_FALSE(ds.SetNumber(s, 1.0));
  EXPECT_NE(ds.LastError().find("'s'"), std::string::npos);
  EXPECT_FALSE(ds.SetString(x, "a"));
  EXPECT_FALSE(ds.SetNumber(5, 1.0));

  EXPECT_EQ(ds.NumCases(), 2u);
  EXPECT_EQ(ds.CaseNumber(0), 1);
  EXPECT_EQ(ds.CaseNumber(1), 41);
  EXPECT_EQ(ds.CaseNumber(2), -1);
  EXPECT_EQ(ds.Row(2), nullptr);
  // A new case holds system-missing numbers and blank strings, over whole cells.
  EXPECT_EQ(ds.Row(0)[0].num, SYSMIS);
  EXPECT_EQ(std::string(ds.Row(0)[1].str, 16), std::string(16, ' '));
  EXPECT_EQ(ds.Row(1)[0].num, 2.5);
  EXPECT_EQ(std::string(ds.Row(1)[1].str, 16), "abcdefghij      ");
}

TEST(MemoryDataSourceTest, IteratesCasesThroughAStableBuffer) {
  auto ds = kvotest::DataSourceBuilder()
                .Add(Num("x"))
                .Add(Str("name", 12))
                .Row({1.5, "first"}, 101)
                .Row({SYSMIS, "second longer"}, 205)
                .Row({-3, ""})
                .Build();
  auto it = Iterate(*ds);
  ASSERT_NE(it, nullptr);
  EXPECT_EQ(&it->GetDataSource(), ds.get());
  const OBS* xCells = it->GetValueCells(0);
  const OBS* nameCells = it->GetValueCells(1);
  EXPECT_EQ(it->GetValueCells(2), nullptr);
  EXPECT_EQ(it->GetValueCells(-1), nullptr);

  ASSERT_NE(it->NextCase(), 0);
  EXPECT_FALSE(it->SplitGroupEnd());
  EXPECT_EQ(it->GetCaseNumber(), 101);
  EXPECT_EQ(it->GetNumericValue(0), 1.5);
  EXPECT_EQ(StringValue(*it, 1, 12), "first       ");
  EXPECT_EQ(it->Weight(), 1.0);

  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(it->GetCaseNumber(), 205);
  EXPECT_EQ(it->GetNumericValue(0), SYSMIS);
  EXPECT_EQ(StringValue(*it, 1, 12), "second longe");
  // The addresses stay the same; the contents follow the case.
  EXPECT_EQ(it->GetValueCells(0), xCells);
  EXPECT_EQ(it->GetValueCells(1), nameCells);
  EXPECT_EQ(&it->GetNumericValue(0), &xCells->num);
  EXPECT_EQ(xCells->num, SYSMIS);

  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(it->GetCaseNumber(), 3);  // row 2: default number
  EXPECT_EQ(it->GetNumericValue(0), -3.0);
  EXPECT_EQ(StringValue(*it, 1, 12), std::string(12, ' '));
  EXPECT_EQ(it->NextCase(), 0);
  EXPECT_EQ(it->NextCase(), 0);

  // Bad indices give system-missing and the empty string, not a crash.
  EXPECT_EQ(it->GetNumericValue(9), SYSMIS);
  EXPECT_STREQ(it->GetStringValue(-2), "");

  // Every pass sees the same case numbers.
  EXPECT_EQ(kvotest::DeliveredCases(*ds), (std::vector<int64_t>{101, 205, 3}));
  EXPECT_EQ(kvotest::DeliveredCases(*ds), (std::vector<int64_t>{101, 205, 3}));
}

TEST(MemoryDataSourceTest, WeightFilterSkipsSysmisZeroAndNegativeWeights) {
  auto ds = kvotest::DataSourceBuilder()
                .Add(Num("x"))
                .Add(Num("w"))
                .Weight("w")
                .Row({1, 2.0})
                .Row({2, 0.0})
                .Row({3, -1.0})
                .Row({4, SYSMIS})
                .Row({5, 0.5})
                .Build();
  EXPECT_EQ(ds->GetWeightVarIndex(), 1);
  EXPECT_TRUE(ds->GetWeightFilter());
  {
    auto it = Iterate(*ds);
    ASSERT_NE(it->NextCase(), 0);
    EXPECT_EQ(it->GetCaseNumber(), 1);
    EXPECT_EQ(it->Weight(), 2.0);
    ASSERT_NE(it->NextCase(), 0);
    EXPECT_EQ(it->GetCaseNumber(), 5);
    EXPECT_EQ(it->Weight(), 0.5);
    EXPECT_EQ(it->NextCase(), 0);
  }
  ds->SetWeightFilter(false);
  EXPECT_FALSE(ds->GetWeightFilter());
  auto it = Iterate(*ds);
  std::vector<double> weights;
  while (it->NextCase() != 0) weights.push_back(it->Weight());
  EXPECT_EQ(weights, (std::vector<double>{2.0, 0.0, -1.0, SYSMIS, 0.5}));

  // The filter state is taken when an iterator is made.
  auto unfiltered = Iterate(*ds);
  ds->SetWeightFilter(true);
  int n = 0;
  while (unfiltered->NextCase() != 0) ++n;
  EXPECT_EQ(n, 5);

  EXPECT_FALSE(ds->SetWeightVariable(7));
  EXPECT_TRUE(ds->SetWeightVariable(-1));
  EXPECT_LT(ds->GetWeightVarIndex(), 0);
  EXPECT_EQ(kvotest::DeliveredCases(*ds), (std::vector<int64_t>{1, 2, 3, 4, 5}));
}

TEST(MemoryDataSourceTest, MarksTheEndOfEachNumericSplitGroup) {
  auto ds = kvotest::DataSourceBuilder()
                .Add(Num("g").Format(VORM_Format::F, 4, 0))
                .Add(Num("w"))
                .Weight("w")
                .Split({"g"})
                .Row({1, 1})
                .Row({1, 1})
                .Row({2, 1})
                .Row({3, 0})  // filtered: group 3 has no usable case
                .Row({4, 1})
                .Row({4, 1})
                .Build();
  EXPECT_EQ(ds->GetNumSplitVars(), 1);
  EXPECT_EQ(ds->GetSplitVarIndex(0), 0);
  EXPECT_EQ(ds->GetSplitVarIndex(1), -1);
  EXPECT_EQ(kvotest::DeliveredCases(*ds), (std::vector<int64_t>{1, 2, SPLIT_MARK, 3, SPLIT_MARK, 5, 6}));

  // The mark keeps the previous case in the buffer.
  auto it = Iterate(*ds);
  it->NextCase();
  it->NextCase();
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_TRUE(it->SplitGroupEnd());
  EXPECT_EQ(it->GetCaseNumber(), 2);
  EXPECT_EQ(it->GetNumericValue(0), 1.0);
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_FALSE(it->SplitGroupEnd());
  EXPECT_EQ(it->GetNumericValue(0), 2.0);

  // Without split variables there are no marks.
  EXPECT_TRUE(ds->SetSplitVariables({}));
  EXPECT_EQ(kvotest::DeliveredCases(*ds), (std::vector<int64_t>{1, 2, 3, 5, 6}));
  EXPECT_FALSE(ds->SetSplitVariables({0, 0}));
  EXPECT_FALSE(ds->SetSplitVariables({5}));
  EXPECT_EQ(ds->GetNumSplitVars(), 0);
}

TEST(MemoryDataSourceTest, ComparesEveryCellOfStringSplitValues) {
  // Values that differ only in their second cell, and a second split variable.
  auto ds = kvotest::DataSourceBuilder()
                .Add(Str("code", 12))
                .Add(Num("sex").Format(VORM_Format::F, 1, 0).ValueLabel(2, "Female"))
                .Split({"code", "sex"})
                .Row({"abcdefghXYZ1", 1})
                .Row({"abcdefghXYZ1", 1})
                .Row({"abcdefghXYZ2", 1})
                .Row({"abcdefghXYZ2", 2})
                .Build();
  standin::ClearCurrentSplitGroup();
  auto it = Iterate(*ds);
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(standin::CurrentSplitGroup(), (standin::SplitGroupPairs{{"code", "abcdefghXYZ1"}, {"sex", "1"}}));
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_FALSE(it->SplitGroupEnd());
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_TRUE(it->SplitGroupEnd());
  // Still the old group during the mark.
  EXPECT_EQ(standin::CurrentSplitGroup(), (standin::SplitGroupPairs{{"code", "abcdefghXYZ1"}, {"sex", "1"}}));
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(it->GetCaseNumber(), 3);
  EXPECT_EQ(standin::CurrentSplitGroup(), (standin::SplitGroupPairs{{"code", "abcdefghXYZ2"}, {"sex", "1"}}));
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_TRUE(it->SplitGroupEnd());
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(it->GetCaseNumber(), 4);
  EXPECT_EQ(standin::CurrentSplitGroup(),
            (standin::SplitGroupPairs{{"code", "abcdefghXYZ2"}, {"sex", "Female"}}));
  EXPECT_EQ(it->NextCase(), 0);
  EXPECT_FALSE(it->SplitGroupEnd());
}

TEST(MemoryDataSourceTest, ReportsAFatalErrorOnceTheCaseIsRead) {
  auto ds = kvotest::DataSourceBuilder()
                .Add(Num("x"))
                .Add(Num("w"))
                .Weight("w")
                .Row({1, 1})
                .Row({2, 1})
                .Row({3, 0}, 30)  // skipped by the weight filter, but read
                .Row({4, 1})
                .Build();
  ds->SetFatalErrorAtCase(30);
  auto it = Iterate(*ds);
  it->NextCase();
  it->NextCase();
  EXPECT_FALSE(ds->FatalError());
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(it->GetCaseNumber(), 4);
  EXPECT_TRUE(ds->FatalError());
  EXPECT_EQ(it->NextCase(), 0);
  EXPECT_TRUE(ds->FatalError());

  ds->ResetPasses();
  EXPECT_FALSE(ds->FatalError());
  kvotest::DeliveredCases(*ds);
  EXPECT_TRUE(ds->FatalError());  // still armed
  ds->SetFatalErrorAtCase(-1);
  EXPECT_FALSE(ds->FatalError());
  kvotest::DeliveredCases(*ds);
  EXPECT_FALSE(ds->FatalError());
}

TEST(MemoryDataSourceTest, ChecksNumericUserMissingValues) {
  auto ds = kvotest::DataSourceBuilder()
                .Add(Num("discrete").Missing({7, 8, 9}))
                .Add(Num("range").MissingRange(1, 3))
                .Add(Num("rangeplus").MissingRange(5, 6).Missing({99}))
                .Add(Num("none"))
                .Build();
  const OBS *m1, *m2, *m3;
  const VORM_Variable& discrete = *ds->GetVariable(0);
  EXPECT_EQ(discrete.GetMissingValues(m1, m2, m3), 3);
  ASSERT_TRUE(m1 && m2 && m3);
  EXPECT_EQ(m1->num, 7);
  EXPECT_EQ(m2->num, 8);
  EXPECT_EQ(m3->num, 9);
  OBS v = Number(8);
  EXPECT_TRUE(discrete.IsUserMissingValue(&v));
  v = Number(6);
  EXPECT_FALSE(discrete.IsUserMissingValue(&v));
  v = Number(SYSMIS);
  EXPECT_FALSE(discrete.IsUserMissingValue(&v));
  EXPECT_FALSE(discrete.IsUserMissingValue(nullptr));

  const VORM_Variable& range = *ds->GetVariable(1);
  EXPECT_EQ(range.GetMissingValues(m1, m2, m3), VORM_MISSING_RANGE);
  ASSERT_TRUE(m1 && m2);
  EXPECT_EQ(m3, nullptr);
  EXPECT_EQ(m1->num, 1);
  EXPECT_EQ(m2->num, 3);
  for (double x : {1.0, 2.5, 3.0}) {
    v = Number(x);
    EXPECT_TRUE(range.IsUserMissingValue(&v)) << x;
  }
  for (double x : {0.999, 3.5, SYSMIS}) {
    v = Number(x);
    EXPECT_FALSE(range.IsUserMissingValue(&v)) << x;
  }

  const VORM_Variable& rangePlus = *ds->GetVariable(2);
  EXPECT_EQ(rangePlus.GetMissingValues(m1, m2, m3), VORM_MISSING_RANGE_AND_ONE);
  ASSERT_TRUE(m1 && m2 && m3);
  EXPECT_EQ(m3->num, 99);
  for (double x : {5.0, 5.5, 99.0}) {
    v = Number(x);
    EXPECT_TRUE(rangePlus.IsUserMissingValue(&v)) << x;
  }
  v = Number(7);
  EXPECT_FALSE(rangePlus.IsUserMissingValue(&v));

  const VORM_Variable& none = *ds->GetVariable(3);
  EXPECT_EQ(none.GetMissingValues(m1, m2, m3), VORM_MISSING_NONE);
  EXPECT_EQ(m1, nullptr);
  v = Number(0);
  EXPECT_FALSE(none.IsUserMissingValue(&v));
}

// The case view judges every form of numeric user-missing declaration as
// the variable itself does, and the system-missing value as missing.
TEST(MemoryDataSourceTest, CaseValueJudgesEachFormOfNumericMissingValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto ds = kvotest::DataSourceBuilder()
                .Add(Num("one").Missing({9}))
                .Add(Num("three").Missing({7, 8, 9}))
                .Add(Num("range").MissingRange(1, 3))
                .Add(Num("rangeplus").MissingRange(5, 6).Missing({99}))
                .Add(Num("none"))
                .Add(Str("text", 3))
                .Row({9, 8, 1, 99, 0, "a"})
                .Row({8, 6, 3.5, 7, SYSMIS, ""})
                .Row({SYSMIS, SYSMIS, 2.5, 5.5, 9, "9"})
                .Row({nan, 7, 0.5, 6, -0.0, " "})
                .Row({-9, 9, 3, 98, nan, "abc"})
                .Build();
  // Per row: IsMissing of each variable.
  const std::vector<std::vector<bool>> missing = {
      {true, true, true, true, false, false},   {false, false, false, false, true, false},
      {true, true, true, true, false, false},   {false, true, false, true, false, false},
      {false, true, true, false, false, false},
  };
  auto it = Iterate(*ds);
  for (size_t row = 0; row < missing.size(); ++row) {
    ASSERT_NE(it->NextCase(), 0);
    for (int v = 0; v < 6; ++v) {
      const CaseValue value(*it, static_cast<unsigned>(v));
      EXPECT_EQ(value.IsMissing(), missing[row][static_cast<size_t>(v)])
          << "row " << row << ", variable " << v;
      // Cross-check with the variable's own test.
      const bool userMissing = ds->GetVariable(v)->IsUserMissingValue(value.Cells());
      EXPECT_EQ(value.IsMissing(), value.IsNull() || userMissing) << "row " << row << ", variable " << v;
      EXPECT_EQ(value.IsNull(), v < 5 && it->GetNumericValue(v) == SYSMIS);
    }
  }
  // An index out of range is a numeric view that is always system-missing.
  const CaseValue absent(*it, 6);
  EXPECT_TRUE(absent.IsMissing());
  EXPECT_TRUE(absent.IsNull());
  EXPECT_EQ(absent.Type(), 0);
}

TEST(MemoryDataSourceTest, ChecksStringUserMissingValuesOverTheFullWidth) {
  auto ds = kvotest::DataSourceBuilder()
                .Add(Str("short", 4).MissingStrings({"NA", "x"}))
                .Add(Str("long", 10).MissingStrings({"unknown"}))
                .Row({"NA", "unknown"})
                .Row({"NA x", "unknownX"})
                .Build();
  const VORM_Variable& shortVar = *ds->GetVariable(0);
  const OBS *m1, *m2, *m3;
  EXPECT_EQ(shortVar.GetMissingValues(m1, m2, m3), 2);
  ASSERT_TRUE(m1 && m2);
  EXPECT_EQ(m3, nullptr);
  EXPECT_EQ(std::string(m1->str, 4), "NA  ");
  EXPECT_EQ(std::string(m2->str, 4), "x   ");
  EXPECT_TRUE(shortVar.IsUserMissingValue(Text("NA", 4).data()));
  EXPECT_TRUE(shortVar.IsUserMissingValue(Text("x", 4).data()));
  EXPECT_FALSE(shortVar.IsUserMissingValue(Text("X", 4).data()));
  EXPECT_FALSE(shortVar.IsUserMissingValue(Text("NA x", 4).data()));
  EXPECT_FALSE(shortVar.IsUserMissingValue(Text(" NA", 4).data()));

  const VORM_Variable& longVar = *ds->GetVariable(1);
  EXPECT_EQ(longVar.GetMissingValues(m1, m2, m3), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m1), 10), "unknown   ");
  EXPECT_TRUE(longVar.IsUserMissingValue(Text("unknown", 10).data()));
  EXPECT_FALSE(longVar.IsUserMissingValue(Text("unknown  X", 10).data()));

  // Through the host's case view.
  auto it = Iterate(*ds);
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_TRUE(CaseValue(*it, 0).IsMissing());
  EXPECT_TRUE(CaseValue(*it, 1).IsMissing());
  EXPECT_FALSE(CaseValue(*it, 0).IsNull());
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_FALSE(CaseValue(*it, 0).IsMissing());
  EXPECT_FALSE(CaseValue(*it, 1).IsMissing());
}

TEST(MemoryDataSourceTest, FindsValueLabels) {
  auto ds = kvotest::DataSourceBuilder()
                .Add(Num("n").ValueLabel(1, "one").ValueLabel(-2.5, "minus"))
                .Add(Str("s", 10).ValueLabel("ab", "AB label"))
                .Build();
  VORM_ValueLabelMap numbers(ds->GetVariable(0)->GetValueLabels());
  OBS v = Number(1);
  EXPECT_STREQ(numbers.GetLabel(&v), "one");
  v = Number(-2.5);
  EXPECT_STREQ(numbers.GetLabel(&v), "minus");
  v = Number(2);
  EXPECT_EQ(numbers.GetLabel(&v), nullptr);
  EXPECT_EQ(numbers.GetLabel(nullptr), nullptr);
  VORM_ValueLabelMap strings(ds->GetVariable(1)->GetValueLabels());
  EXPECT_STREQ(strings.GetLabel(Text("ab", 10).data()), "AB label");
  EXPECT_EQ(strings.GetLabel(Text("abc", 10).data()), nullptr);
}

TEST(MemoryDataSourceTest, KeepsPassAndIteratorBookkeeping) {
  MemoryDataSource ds;
  ds.AddNumeric("x");
  ds.AddCase();
  EXPECT_FALSE(ds.IsLastPass());
  ds.SetLastPass();
  EXPECT_TRUE(ds.IsLastPass());
  ds.ResetPasses();
  EXPECT_FALSE(ds.IsLastPass());

  EXPECT_FALSE(ds.IsSplitRequested());
  ds.SetSplitRequested(true);
  EXPECT_TRUE(ds.IsSplitRequested());

  EXPECT_EQ(ds.IteratorsCreated(), 0);
  delete ds.NewCaseIterator(0);
  EXPECT_EQ(ds.IteratorsCreated(), 1);
  ds.SetRefuseIterators(true);
  EXPECT_EQ(ds.NewCaseIterator(0), nullptr);
  EXPECT_EQ(ds.IteratorsCreated(), 1);
  ds.SetRefuseIterators(false);
  delete ds.NewCaseIterator(0);
  EXPECT_EQ(ds.IteratorsCreated(), 2);
}

TEST(MemoryDataSourceTest, AppliesValidSpecEditsAndRevertsInvalidOnes) {
  MemoryDataSource ds;
  const int x = ds.AddNumeric("x");
  const int y = ds.AddNumeric("y");
  ds.Spec(x).fLabel = "The x";
  ds.Spec(x).fMissingNumbers = {9};
  EXPECT_STREQ(ds.GetVariable(x)->GetLabel(), "The x");
  OBS nine = Number(9);
  EXPECT_TRUE(ds.GetVariable(x)->IsUserMissingValue(&nine));

  ds.Spec(y).fMissingNumbers = {1, 2, 3, 4};
  testing::internal::CaptureStderr();
  EXPECT_EQ(ds.GetNumVariables(), 2);
  testing::internal::GetCapturedStderr();
  EXPECT_NE(ds.LastError().find("'y'"), std::string::npos) << ds.LastError();
  const OBS *m1, *m2, *m3;
  EXPECT_EQ(ds.GetVariable(y)->GetMissingValues(m1, m2, m3), 0);
  EXPECT_TRUE(ds.Spec(y).fMissingNumbers.empty());

  ds.Spec(y).fName = "X";  // clashes with x
  testing::internal::CaptureStderr();
  EXPECT_EQ(ds.FindVarIndex("y", 0), y);
  testing::internal::GetCapturedStderr();

  // Before cases the type may change and the layout follows.
  ds.Spec(x).fType = 20;
  ds.Spec(x).fFormat = VORM_Format();
  ds.Spec(x).fMissingNumbers.clear();
  EXPECT_EQ(ds.CellOffset(y), 3u);
  ds.AddCase();
  ds.Spec(x).fType = 0;
  ds.Spec(x).fFormat = VORM_Format();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ds.GetVariable(x)->GetType(), 20);
  testing::internal::GetCapturedStderr();

  EXPECT_EQ(ds.Spec(5).fName, "");  // a scratch spec, ignored
  EXPECT_EQ(ds.GetNumVariables(), 2);
}

}  // namespace
