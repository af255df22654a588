#include <gtest/gtest.h>

#include <cstring>
#include <functional>
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

// A value as key cells: a number, or a text blank padded to a width.
std::vector<OBS> Number(double value) {
  std::vector<OBS> cells(1);
  cells[0].num = value;
  return cells;
}
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
  EXPECT_EQ(ds.FindVarIndex("REGION", 0), 1);
  EXPECT_EQ(ds.FindVarIndex("GrOuP", 0), 2);
  EXPECT_LT(ds.FindVarIndex("weight", 0), 0);
  EXPECT_LT(ds.FindVarIndex(nullptr, 0), 0);
  EXPECT_EQ(ds.AddNumeric("AGE"), -1);
  EXPECT_NE(ds.LastError().find("'AGE'"), std::string::npos) << ds.LastError();
  EXPECT_EQ(ds.GetVariable(3), nullptr);
  EXPECT_EQ(ds.GetVariable(-1), nullptr);

  // Default formats; measures decide what is categorical.
  EXPECT_EQ(ds.GetVariable(0)->GetFormat(), VORM_Format(VORM_Format::F, 8, 2));
  EXPECT_EQ(ds.GetVariable(1)->GetFormat(), VORM_Format(VORM_Format::A, 12, 0));
  EXPECT_FALSE(ds.IsCategorical(0));  // scale
  EXPECT_TRUE(ds.IsCategorical(1));   // nominal
  EXPECT_TRUE(IsCatVar(2, ds));       // ordinal
  EXPECT_FALSE(ds.IsCategorical(7));
  // Layout: one cell for the number, two for the 12-byte string.
  EXPECT_EQ(ds.CellOffset(1), 1u);
  EXPECT_EQ(ds.CellOffset(2), 3u);
  EXPECT_EQ(ds.CellOffset(3), static_cast<size_t>(-1));
  EXPECT_EQ(ds.RowCells(), 4u);
}

TEST(MemoryDataSourceTest, RejectsInvalidDeclarationsWithTheReason) {
  using Edit = std::function<void(standin::VariableSpec&)>;
  const struct {
    Edit fEdit;
    const char* fReason;
  } cases[] = {
      {[](auto& s) { s.fName.clear(); }, "name"},
      {[](auto& s) {
         s.fMissingNumbers = {1, 2, 3, 4};
       },
       "4 discrete missing values"},
      {[](auto& s) {
         s.fHasMissingRange = true;
         s.fMissingLow = 1;
         s.fMissingHigh = 2;
         s.fMissingNumbers = {7, 8};
       },
       "at most 1"},
      {[](auto& s) {
         s.fHasMissingRange = true;
         s.fMissingLow = 3;
         s.fMissingHigh = 2;
       },
       "empty"},
      {[](auto& s) {
         s.fType = 4;
         s.fHasMissingRange = true;
       },
       "range"},
      {[](auto& s) {
         s.fType = 4;
         s.fMissingStrings = {"toolong"};
       },
       "wider"},
      {[](auto& s) {
         s.fType = 4;
         s.fFormat = VORM_Format(VORM_Format::F, 8, 2);
       },
       "A or AHEX"},
      // A string prints with exactly its own bytes.
      {[](auto& s) {
         s.fType = 3;
         s.fFormat = VORM_Format(VORM_Format::A, 20, 0);
       },
       "format A20 is not as wide as the string (A3)"},
      {[](auto& s) {
         s.fType = 3;
         s.fFormat = VORM_Format(VORM_Format::A, 2, 0);
       },
       "(A3)"},
      {[](auto& s) {
         s.fType = 3;
         s.fFormat = VORM_Format(VORM_Format::AHEX, 8, 0);
       },
       "format AHEX8 does not show the string's bytes (AHEX6)"},
      {[](auto& s) { s.fMissingStrings = {"x"}; }, "string missing"},
      {[](auto& s) { s.fMissingNumbers = {SYSMIS}; }, "not a defined number"},
      {[](auto& s) { s.fType = -3; }, "type"},
      {[](auto& s) {
         s.fNumericLabels = {{1, "a"}, {1, "b"}};
       },
       "two value labels"},
  };
  MemoryDataSource ds;
  for (const auto& c : cases) {
    standin::VariableSpec spec;
    spec.fName = "v";
    c.fEdit(spec);
    std::string error;
    EXPECT_EQ(ds.AddVariable(spec, &error), -1) << c.fReason;
    EXPECT_NE(error.find(c.fReason), std::string::npos) << error;
  }
  EXPECT_EQ(ds.AddString("zero", 0), -1);
  EXPECT_EQ(ds.GetNumVariables(), 0);
  EXPECT_EQ(ds.AddNumeric("x"), 0);
  ds.AddCase();
  EXPECT_EQ(ds.AddNumeric("late"), -1);
  EXPECT_NE(ds.LastError().find("before the first case"), std::string::npos);
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
  const OBS* xCells = it->GetValueCells(0);
  const OBS* nameCells = it->GetValueCells(1);
  EXPECT_EQ(it->GetValueCells(2), nullptr);
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(StringValue(*it, 1, 12), "first       ");
  EXPECT_EQ(it->Weight(), 1.0);
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(StringValue(*it, 1, 12), "second longe");
  // The addresses stay the same; the contents follow the case.
  EXPECT_EQ(it->GetValueCells(0), xCells);
  EXPECT_EQ(it->GetValueCells(1), nameCells);
  EXPECT_EQ(&it->GetNumericValue(0), &xCells->num);
  EXPECT_EQ(xCells->num, SYSMIS);
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(it->GetNumericValue(0), -3.0);
  EXPECT_EQ(it->NextCase(), 0);
  // Bad indices give system-missing and the empty string, not a crash.
  EXPECT_EQ(it->GetNumericValue(9), SYSMIS);
  EXPECT_STREQ(it->GetStringValue(-2), "");
  // Every pass sees the same case numbers (row + 1 unless given).
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
  EXPECT_TRUE(ds->GetWeightFilter());
  EXPECT_EQ(kvotest::DeliveredCases(*ds), (std::vector<int64_t>{1, 5}));
  auto filtered = Iterate(*ds);
  ASSERT_NE(filtered->NextCase(), 0);
  EXPECT_EQ(filtered->Weight(), 2.0);

  // The filter state is taken when an iterator is made.
  ds->SetWeightFilter(false);
  auto it = Iterate(*ds);
  ds->SetWeightFilter(true);
  std::vector<double> weights;
  while (it->NextCase() != 0) weights.push_back(it->Weight());
  EXPECT_EQ(weights, (std::vector<double>{2.0, 0.0, -1.0, SYSMIS, 0.5}));

  EXPECT_FALSE(ds->SetWeightVariable(7));
  EXPECT_TRUE(ds->SetWeightVariable(-1));
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

  // Without split variables there are no marks; bad lists are refused.
  EXPECT_TRUE(ds->SetSplitVariables({}));
  EXPECT_EQ(kvotest::DeliveredCases(*ds), (std::vector<int64_t>{1, 2, 3, 5, 6}));
  EXPECT_FALSE(ds->SetSplitVariables({0, 0}));
  EXPECT_FALSE(ds->SetSplitVariables({5}));
  EXPECT_EQ(ds->GetNumSplitVars(), 0);
}

TEST(MemoryDataSourceTest, ComparesEveryCellOfStringSplitValuesAndPublishesTheGroup) {
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
  EXPECT_EQ(kvotest::DeliveredCases(*ds), (std::vector<int64_t>{1, 2, SPLIT_MARK, 3, SPLIT_MARK, 4}));
  standin::ClearCurrentSplitGroup();
  auto it = Iterate(*ds);
  const auto group = [](const char* code, const char* sex) {
    return standin::SplitGroupPairs{{"code", code}, {"sex", sex}};
  };
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(standin::CurrentSplitGroup(), group("abcdefghXYZ1", "1"));
  it->NextCase();
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_TRUE(it->SplitGroupEnd());
  EXPECT_EQ(standin::CurrentSplitGroup(), group("abcdefghXYZ1", "1"))
      << "still the old group during the mark";
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(standin::CurrentSplitGroup(), group("abcdefghXYZ2", "1"));
  it->NextCase();
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_EQ(standin::CurrentSplitGroup(), group("abcdefghXYZ2", "Female")) << "values shown by their labels";
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

  ds->ResetPasses();
  EXPECT_FALSE(ds->FatalError());
  kvotest::DeliveredCases(*ds);
  EXPECT_TRUE(ds->FatalError());  // still armed
  ds->SetFatalErrorAtCase(-1);
  kvotest::DeliveredCases(*ds);
  EXPECT_FALSE(ds->FatalError());
}

TEST(MemoryDataSourceTest, ChecksUserMissingValuesOverTheFullWidth) {
  auto ds = kvotest::DataSourceBuilder()
                .Add(Num("discrete").Missing({7, 8, 9}))
                .Add(Num("range").MissingRange(1, 3))
                .Add(Num("rangeplus").MissingRange(5, 6).Missing({99}))
                .Add(Num("none"))
                .Add(Str("short", 4).MissingStrings({"NA", "x"}))
                .Add(Str("long", 10).MissingStrings({"unknown"}))
                .Row({1, 1, 1, 1, "NA", "unknown"})
                .Row({1, 1, 1, 1, "NA x", "unknownX"})
                .Build();
  const struct {
    int fVariable;
    std::vector<OBS> fValue;
    bool fbMissing;
  } cases[] = {
      {0, Number(8), true},           {0, Number(6), false},
      {0, Number(SYSMIS), false},     {1, Number(1), true},
      {1, Number(2.5), true},         {1, Number(3), true},
      {1, Number(0.999), false},      {1, Number(3.5), false},
      {1, Number(SYSMIS), false},     {2, Number(5.5), true},
      {2, Number(99), true},          {2, Number(7), false},
      {3, Number(0), false},          {4, Text("NA", 4), true},
      {4, Text("x", 4), true},        {4, Text("X", 4), false},
      {4, Text("NA x", 4), false},    {4, Text(" NA", 4), false},
      {5, Text("unknown", 10), true}, {5, Text("unknown  X", 10), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ds->GetVariable(c.fVariable)->IsUserMissingValue(c.fValue.data()), c.fbMissing)
        << ds->GetVariable(c.fVariable)->GetName() << " case " << (&c - cases);
  }
  EXPECT_FALSE(ds->GetVariable(0)->IsUserMissingValue(nullptr));

  const OBS *m1, *m2, *m3;
  EXPECT_EQ(ds->GetVariable(0)->GetMissingValues(m1, m2, m3), 3);
  EXPECT_EQ(std::vector<double>({m1->num, m2->num, m3->num}), std::vector<double>({7, 8, 9}));
  EXPECT_EQ(ds->GetVariable(1)->GetMissingValues(m1, m2, m3), VORM_MISSING_RANGE);
  EXPECT_EQ(std::vector<double>({m1->num, m2->num}), std::vector<double>({1, 3}));
  EXPECT_EQ(m3, nullptr);
  EXPECT_EQ(ds->GetVariable(2)->GetMissingValues(m1, m2, m3), VORM_MISSING_RANGE_AND_ONE);
  EXPECT_EQ(m3->num, 99);
  EXPECT_EQ(ds->GetVariable(3)->GetMissingValues(m1, m2, m3), VORM_MISSING_NONE);
  EXPECT_EQ(ds->GetVariable(4)->GetMissingValues(m1, m2, m3), 2);
  EXPECT_EQ(std::string(m1->str, 4) + std::string(m2->str, 4), "NA  x   ");
  EXPECT_EQ(ds->GetVariable(5)->GetMissingValues(m1, m2, m3), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m1), 10), "unknown   ");

  // Through the host's case view.
  auto it = Iterate(*ds);
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_TRUE(CaseValue(*it, 4).IsMissing());
  EXPECT_TRUE(CaseValue(*it, 5).IsMissing());
  EXPECT_FALSE(CaseValue(*it, 4).IsNull());
  ASSERT_NE(it->NextCase(), 0);
  EXPECT_FALSE(CaseValue(*it, 4).IsMissing());
  EXPECT_FALSE(CaseValue(*it, 5).IsMissing());
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

}  // namespace
