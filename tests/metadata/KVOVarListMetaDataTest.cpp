// The variable-list metadata builder over small in-memory data sets, beyond
// what the integration test shows for a survey (categories in code order with
// labels, each kind of user-missing value, a weight named by the caller):
// lists without value information, variables without categories, the weight,
// the list forms, the value texts and the broken conditions it reports.
#include <gtest/gtest.h>
#include <kvoadapter/KVOVarListMetaData.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MetaDataTestSupport.h"
#include "support/Cells.h"
#include "support/DataSourceBuilder.h"
#include "support/ForwardingDataSource.h"

namespace {

using kvotest::DataSourceBuilder;
using kvotest::Num;
using kvotest::Str;
using kvotest::SYSMIS;
using metadata_test::MetaDataAsserts;
using QorXML::IQorVariable;
using QorXML::QorVarList;
using Entry = QorVarList::Entry;
using StringPairs = std::vector<std::pair<std::string, std::string>>;
using NumberPairs = std::vector<std::pair<double, std::string>>;

// U+FFFD in UTF-8.
const std::string REPLACEMENT = "\xEF\xBF\xBD";

constexpr auto INPUT = IQorVariable::RoleInput;
constexpr auto TARGET = IQorVariable::RoleTarget;

// A data set, a record layout over it, an input adapter that has read the
// first pass, and a list for the builder to fill.
struct Pipeline {
  Pipeline(std::unique_ptr<standin::MemoryDataSource> data, const std::vector<std::pair<int, bool>>& slots,
           bool weightSlot = false)
      : ds(std::move(data)) {
    for (const auto& [hostIndex, categorical] : slots) specs.AddVariable(hostIndex, categorical);
    if (weightSlot) specs.SetWeightVar();
    ds->SetWeightFilter(false);
    adapter = std::make_unique<KVOInputAdapter>(&specs, *ds);
    records = metadata_test::ReadFirstPass(*adapter);
  }
  KVOVarListMetaData Builder(bool withValueInfo) {
    return KVOVarListMetaData(list, &specs, *ds, adapter.get(), withValueInfo);
  }

  std::unique_ptr<standin::MemoryDataSource> ds;
  KVOVarValidSpecs specs;
  std::unique_ptr<KVOInputAdapter> adapter;
  QorVarList list;
  int records = 0;
};

// grade (numeric categorical), town (string categorical), income
// (continuous), w (weight), each with value labels and missing values.
std::unique_ptr<standin::MemoryDataSource> SurveyData() {
  return DataSourceBuilder()
      .Add(Num("grade").Nominal().Label("Grade").ValueLabel(1, "low").ValueLabel(3, "high").Missing({9}))
      .Add(Str("town", 6).Label("Home town").ValueLabel("Oslo", "capital").MissingStrings({"none"}))
      .Add(Num("income").Label("Income").Missing({-1}).ValueLabel(-1, "refused"))
      .Add(Num("w").Label("Case weight").Missing({-1}).ValueLabel(-1, "no weight"))
      .Weight("w")
      .Row({3, "Bergen", 120.5, 1})
      .Row({1, "Oslo", -1, 2})
      .Row({9, "none", 80, 1})
      .Row({2, "Oslo", 310.25, 1})
      .Row({SYSMIS, "Bodo", SYSMIS, 3})
      .Build();
}

class KVOVarListMetaDataTest : public ::testing::Test {
 protected:
  kvotest::QuietHost fQuiet;
};

TEST_F(KVOVarListMetaDataTest, WithoutValueInfoOnlyCountsAndKindsButTheWeightKeepsItsMissingValues) {
  Pipeline p(SurveyData(), {{0, true}, {1, true}, {2, false}}, true);
  KVOVarListMetaData builder = p.Builder(false);
  EXPECT_TRUE(builder.AddVariable(0, true, INPUT, nullptr));
  EXPECT_TRUE(builder.AddVariable(1, true, INPUT, nullptr));
  EXPECT_TRUE(builder.AddVariable(2, false, INPUT, true, 4, nullptr));
  EXPECT_TRUE(builder.AddRecWeightVar(3, INPUT, IQorVariable::WRoundTruncate, ""));
  ASSERT_EQ(p.list.Size(), 4);

  // Numeric: measure level 2 and no value type change.
  const Entry& grade = *p.list.GetEntry(0);
  EXPECT_EQ(grade.fCategoryCount, 3);
  EXPECT_EQ(grade.fMeasureLevel, IQorVariable::MeasureNominalNumeric);
  EXPECT_EQ(grade.fValueType, IQorVariable::VALUE_NUMERIC);
  EXPECT_TRUE(grade.fNumericValues.empty());
  EXPECT_TRUE(grade.fValueLabels.empty());
  EXPECT_TRUE(grade.fMissingNumbers.empty());

  // String: measure level 3 and value type 3 all the same.
  const Entry& town = *p.list.GetEntry(1);
  EXPECT_EQ(town.fCategoryCount, 3);
  EXPECT_EQ(town.fMeasureLevel, IQorVariable::MeasureNominalString);
  EXPECT_EQ(town.fValueType, IQorVariable::VALUE_STRING);
  EXPECT_TRUE(town.fStringValues.empty());
  EXPECT_TRUE(town.fMissingStrings.empty());

  // Continuous: the range and the two extra arguments, no missing values.
  const Entry& income = *p.list.GetEntry(2);
  EXPECT_EQ(income.fMin, 80.0);
  EXPECT_EQ(income.fMax, 310.25);
  EXPECT_TRUE(income.fContFlag);
  EXPECT_EQ(income.fContNumber, 4);
  EXPECT_TRUE(income.fMissingNumbers.empty());

  const Entry& w = *p.list.GetEntry(3);
  EXPECT_EQ(w.fRounding, IQorVariable::WRoundTruncate);
  EXPECT_EQ(w.fMissingNumbers, (NumberPairs{{-1, "no weight"}}));
  EXPECT_TRUE(MetaDataAsserts().empty());
}

TEST_F(KVOVarListMetaDataTest, VariablesWithoutCategoriesGetEmptyValueLists) {
  // Every value is missing, so the first pass gathers no category.
  auto data = DataSourceBuilder()
                  .Add(Num("grade").Missing({9}))
                  .Add(Str("town", 4).MissingStrings({"none"}))
                  .Add(Num("x"))
                  .Row({9, "none", SYSMIS})
                  .Row({SYSMIS, "none", SYSMIS})
                  .Build();
  Pipeline p(std::move(data), {{0, true}, {1, true}, {2, false}});
  KVOVarListMetaData builder = p.Builder(true);
  const std::vector<int> records{0, 1, 2};
  EXPECT_EQ(builder.AddRecVariableList(&records, std::vector<bool>{true, true, false}, INPUT), 3);

  const Entry& grade = *p.list.GetEntry(0);
  EXPECT_EQ(grade.fCategoryCount, 0);
  EXPECT_TRUE(grade.fNumericValues.empty());
  EXPECT_TRUE(grade.fValueLabels.empty());
  EXPECT_EQ(grade.fMissingNumbers, (NumberPairs{{9, ""}}));
  const Entry& town = *p.list.GetEntry(1);
  EXPECT_TRUE(town.fStringValues.empty());
  EXPECT_EQ(town.fValueType, IQorVariable::VALUE_STRING);
  EXPECT_EQ(town.fMissingStrings, (StringPairs{{"none", ""}}));
  // A continuous variable without a valid value reports the system-missing range.
  const Entry& x = *p.list.GetEntry(2);
  EXPECT_EQ(x.fMin, SYSMIS);
  EXPECT_EQ(x.fMax, SYSMIS);
  EXPECT_TRUE(MetaDataAsserts().empty());
}

TEST_F(KVOVarListMetaDataTest, NameArgumentReplacesTheHostName) {
  Pipeline p(SurveyData(), {{0, true}, {2, false}}, true);
  KVOVarListMetaData builder = p.Builder(true);
  EXPECT_TRUE(builder.AddRecVariable(0, true, INPUT, nullptr, "Klasse"));
  EXPECT_TRUE(builder.AddRecVariable(1, false, INPUT, true, 12, nullptr, "Einkommen"));
  EXPECT_TRUE(builder.AddRecWeightVar(2, INPUT, IQorVariable::WRoundNone, "Gewicht"));
  ASSERT_EQ(p.list.Size(), 3);

  // The host variable behind each is still the one at the record index.
  const Entry& grade = *p.list.GetEntry(0);
  EXPECT_EQ(grade.fName, "Klasse");
  EXPECT_EQ(grade.fLabel, "Grade");
  EXPECT_EQ(grade.fNumericValues, (std::vector<double>{3, 1, 2}));
  const Entry& income = *p.list.GetEntry(1);
  EXPECT_EQ(income.fName, "Einkommen");
  EXPECT_EQ(income.fLabel, "Income");
  EXPECT_TRUE(income.fContFlag);
  EXPECT_EQ(income.fContNumber, 12);
  EXPECT_EQ(income.fMax, 310.25);
  const Entry& w = *p.list.GetEntry(2);
  EXPECT_EQ(w.fName, "Gewicht");
  EXPECT_EQ(w.fLabel, "Case weight");
  EXPECT_EQ(w.fRounding, IQorVariable::WRoundNone);
}

TEST_F(KVOVarListMetaDataTest, WeightIsTheDataSourcesWhateverIndexIsGiven) {
  {
    // Host index 1 (town, record index 1) is given; the data source's weight
    // is w, and the list gives it index 1, as the given index maps to.
    Pipeline p(SurveyData(), {{0, true}, {1, true}}, true);
    KVOVarListMetaData builder = p.Builder(false);
    EXPECT_TRUE(builder.AddRecVariable(0, true, INPUT, nullptr, ""));
    EXPECT_TRUE(builder.AddWeightVar(1, INPUT, IQorVariable::WRoundNearest));
    ASSERT_EQ(p.list.Size(), 2);
    EXPECT_EQ(p.list.GetEntry(1)->fKind, Entry::Weight);
    EXPECT_EQ(p.list.GetEntry(1)->fName, "w");
    EXPECT_EQ(p.list.GetEntry(1)->fLabel, "Case weight");
    EXPECT_EQ(p.list.GetEntry(1)->fMissingNumbers, (NumberPairs{{-1, "no weight"}}));
  }
  {
    // Unweighted data: true, and nothing is added.
    auto data = DataSourceBuilder().Add(Num("x")).Row({1}).Build();
    Pipeline p(std::move(data), {{0, false}});
    KVOVarListMetaData builder = p.Builder(true);
    EXPECT_TRUE(builder.AddWeightVar(0, INPUT, IQorVariable::WRoundNearest));
    EXPECT_TRUE(builder.AddRecWeightVar(5, INPUT, IQorVariable::WRoundNearest, "w"));
    EXPECT_EQ(p.list.Size(), 0);
  }
  {
    // The component refuses: false, and nothing is added.
    Pipeline p(SurveyData(), {{0, true}}, true);
    p.list.SetRefuseWeight(true);
    KVOVarListMetaData builder = p.Builder(true);
    EXPECT_TRUE(builder.AddRecVariable(0, true, INPUT, nullptr, ""));
    EXPECT_FALSE(builder.AddWeightVar(3, INPUT, IQorVariable::WRoundNearest));
    EXPECT_FALSE(builder.AddRecWeightVar(1, INPUT, IQorVariable::WRoundNearest, ""));
    EXPECT_EQ(p.list.Size(), 1);
  }
  EXPECT_TRUE(MetaDataAsserts().empty());
}

TEST_F(KVOVarListMetaDataTest, ListFormsCountTheirAdditions) {
  auto data = DataSourceBuilder()
                  .Add(Num("x"))
                  .Add(Num("y"))
                  .Add(Str("z", 3))
                  .Row({1, 10, "p"})
                  .Row({2, 20, "q"})
                  .Build();
  // Record order differs from host order: z, x, y.
  Pipeline p(std::move(data), {{2, true}, {0, true}, {1, false}});
  {
    KVOVarListMetaData builder = p.Builder(true);
    EXPECT_EQ(builder.AddVariableList(nullptr, std::vector<bool>{}, INPUT), 0);
    EXPECT_EQ(builder.AddVariableList(nullptr, true, INPUT), 0);
    EXPECT_EQ(builder.AddRecVariableList(nullptr, std::vector<bool>{}, INPUT), 0);
    EXPECT_EQ(builder.AddRecVariableList(nullptr, true, INPUT), 0);
    const std::vector<int> empty;
    EXPECT_EQ(builder.AddVariableList(&empty, std::vector<bool>{}, INPUT), 0);
    EXPECT_EQ(builder.AddRecVariableList(&empty, false, INPUT), 0);
    EXPECT_EQ(p.list.Size(), 0);

    // Host indices in record order, one flag each.
    const std::vector<int> hosts{2, 0, 1};
    EXPECT_EQ(builder.AddVariableList(&hosts, std::vector<bool>{true, true, false}, TARGET), 3);
    ASSERT_EQ(p.list.Size(), 3);
    EXPECT_EQ(p.list.GetEntry(0)->fName, "z");
    EXPECT_EQ(p.list.GetEntry(0)->fStringValues, (std::vector<std::string>{"p", "q"}));
    EXPECT_EQ(p.list.GetEntry(1)->fName, "x");
    EXPECT_EQ(p.list.GetEntry(1)->fNumericValues, (std::vector<double>{1, 2}));
    EXPECT_EQ(p.list.GetEntry(2)->fName, "y");
    EXPECT_EQ(p.list.GetEntry(2)->fKind, Entry::Continuous);
    EXPECT_FALSE(p.list.GetEntry(2)->fContFlag);
    EXPECT_EQ(p.list.GetEntry(2)->fContNumber, -1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(p.list.GetEntry(i)->fRole, TARGET);
  }
  {
    // One flag for all, by record index and by host index, into fresh lists.
    QorVarList byRecord;
    KVOVarListMetaData recordBuilder(byRecord, &p.specs, *p.ds, p.adapter.get(), false);
    const std::vector<int> firstTwo{0, 1};
    EXPECT_EQ(recordBuilder.AddRecVariableList(&firstTwo, true, INPUT), 2);
    EXPECT_EQ(byRecord.GetEntry(1)->fName, "x");
    EXPECT_EQ(byRecord.GetEntry(1)->fCategoryCount, 2);

    QorVarList byHost;
    KVOVarListMetaData hostBuilder(byHost, &p.specs, *p.ds, p.adapter.get(), false);
    const std::vector<int> hosts{2, 0};
    EXPECT_EQ(hostBuilder.AddVariableList(&hosts, true, INPUT), 2);
    EXPECT_EQ(byHost.GetEntry(0)->fName, "z");
    EXPECT_EQ(byHost.GetEntry(0)->fValueType, IQorVariable::VALUE_STRING);
  }
  EXPECT_TRUE(MetaDataAsserts().empty());
  {
    // A flag list of the wrong length is reported; the entries that have a
    // flag are still added.
    QorVarList list;
    KVOVarListMetaData builder(list, &p.specs, *p.ds, p.adapter.get(), true);
    const std::vector<int> records{0, 1, 2};
    EXPECT_EQ(builder.AddRecVariableList(&records, std::vector<bool>{true, true}, INPUT), 2);
    EXPECT_EQ(list.Size(), 2);
    QorVarList other;
    KVOVarListMetaData hostBuilder(other, &p.specs, *p.ds, p.adapter.get(), true);
    const std::vector<int> hosts{2};
    EXPECT_EQ(hostBuilder.AddVariableList(&hosts, std::vector<bool>{true, true}, INPUT), 1);
    EXPECT_EQ(MetaDataAsserts(), (std::vector<std::string>{"recVarList->size() == catVarFlags.size()",
                                                           "varIdList->size() == catVarFlags.size()"}));
  }
}

TEST_F(KVOVarListMetaDataTest, NumbersBecomeTextWithFifteenSignificantDigits) {
  Pipeline p(SurveyData(), {{0, true}});
  KVOVarListMetaData builder = p.Builder(true);
  const VORM_Variable& grade = *p.ds->GetVariable(0);
  auto text = [&](double number) {
    OBS cell;
    cell.num = number;
    std::string out = "stale";
    builder.ConvertObsValToStr(&cell, grade, out);
    return out;
  };
  const std::pair<double, const char*> cases[] = {
      {0.5, "0.5"},
      {1e20, "1e+20"},
      {-2.25, "-2.25"},
      {1.0 / 3.0, "0.333333333333333"},
      {123456789012345.0, "123456789012345"},        // 15 digits: still fixed
      {1234567890123456.0, "1.23456789012346e+15"},  // 16: exponent
      {0.0001, "0.0001"},
      {0.00001, "1e-05"},
      {100.0, "100"},
  };
  for (const auto& [number, expected] : cases) EXPECT_EQ(text(number), expected);

  std::string out = "stale";
  builder.ConvertObsValToStr(nullptr, grade, out);
  EXPECT_EQ(out, "");

  // A string value keeps its leading blanks and loses its trailing ones.
  const VORM_Variable& town = *p.ds->GetVariable(1);
  OBS cell;
  std::memcpy(cell.str, " Oslo   ", 8);
  builder.ConvertObsValToStr(&cell, town, out);
  EXPECT_EQ(out, " Oslo");
  builder.ConvertObsValToStr(nullptr, town, out);
  EXPECT_EQ(out, "");
}

TEST_F(KVOVarListMetaDataTest, TextsThatDoNotConvertLoseOnlyTheirBadBytes) {
  // Windows-1252 leaves 0x81, 0x8D, 0x8F and 0x90 undefined; 0xE9 is e-acute.
  kvotest::QuietHost cp1252("CP1252");
  auto data =
      DataSourceBuilder()
          .Add(Str("code", 4).Label("Code\x81").ValueLabel("ab\x81", "low\x8F").MissingStrings({"n\x90"}))
          .Row({"ab\x81"})
          .Row({"cd\x8D"})
          .Row({"caf\xE9"})
          .Build();
  Pipeline p(std::move(data), {{0, true}});
  KVOVarListMetaData builder = p.Builder(true);
  EXPECT_TRUE(builder.AddRecVariable(0, true, INPUT, nullptr, "c\x81"));
  const Entry& code = *p.list.GetEntry(0);
  EXPECT_EQ(code.fName, "c" + REPLACEMENT);
  EXPECT_EQ(code.fLabel, "Code" + REPLACEMENT);
  // Distinct values stay distinct.
  EXPECT_EQ(code.fStringValues,
            (std::vector<std::string>{"ab" + REPLACEMENT, "cd" + REPLACEMENT, "caf\xC3\xA9"}));
  EXPECT_EQ(code.fValueLabels, (std::vector<std::string>{"low" + REPLACEMENT, "", ""}));
  EXPECT_EQ(code.fMissingStrings, (StringPairs{{"n" + REPLACEMENT, ""}}));
  // One report per text the host refused whole.
  EXPECT_EQ(MetaDataAsserts(), std::vector<std::string>(6, "errCode == 0"));
}

TEST_F(KVOVarListMetaDataTest, StringValuesAreReadNoWiderThanTheVariable) {
  // A host whose print format for a 3-byte string is A20: the categories and
  // the missing value are 3 bytes each, and no more is read of them.
  auto data = DataSourceBuilder().Add(Str("code", 3).MissingStrings({"zz"})).Row({"abc"}).Row({"xy"}).Build();
  Pipeline p(std::move(data), {{0, true}});
  const kvotest::FormatVariable wide(*p.ds->GetVariable(0), VORM_Format(VORM_Format::A, 20, 0));
  kvotest::ForwardingDataSource dictionary(*p.ds);
  dictionary.Replace(0, wide);
  QorVarList list;
  KVOVarListMetaData builder(list, &p.specs, dictionary, p.adapter.get(), true);
  EXPECT_TRUE(builder.AddRecVariable(0, true, INPUT, nullptr, ""));
  EXPECT_EQ(list.GetEntry(0)->fStringValues, (std::vector<std::string>{"abc", "xy"}));
  EXPECT_EQ(list.GetEntry(0)->fMissingStrings, (StringPairs{{"zz", ""}}));
  // A value followed by other bytes shows only its own.
  const std::vector<OBS> followed = kvotest::StrCells("abcdefghijklmnop", 16);
  std::string out;
  builder.ConvertObsValToStr(followed.data(), wide, out);
  EXPECT_EQ(out, "abc");
  EXPECT_TRUE(MetaDataAsserts().empty());
}

// A locale whose decimal separator is ','. An installed one is used when
// there is one; otherwise one is compiled from the system's locale sources
// into a temporary directory, which goes again with this object.
class CommaLocale {
 public:
  CommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
      if (Try(name)) return;
    }
    if (std::system("command -v localedef >/dev/null 2>&1") != 0) {
      fWhy = "no locale with a ',' decimal separator is installed and localedef is not available";
      return;
    }
    if (!std::filesystem::exists("/usr/share/i18n/locales/de_DE")) {
      fWhy = "no locale with a ',' decimal separator is installed and there are no de_DE locale sources";
      return;
    }
    std::string pattern = std::filesystem::temp_directory_path() / "kvo-locale-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      fWhy = "cannot create a directory for a generated locale";
      return;
    }
    fDirectory = pattern;
    const std::string command =
        "localedef -c -i de_DE -f ISO-8859-1 '" + fDirectory + "/de_DE.ISO-8859-1' >/dev/null 2>&1";
    (void)std::system(command.c_str());  // warnings give a non-zero status; the load below decides
    setenv("LOCPATH", fDirectory.c_str(), 1);
    if (!Try("de_DE.ISO-8859-1")) fWhy = "localedef could not generate de_DE.ISO-8859-1";
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, "C");
    if (!fDirectory.empty()) {
      unsetenv("LOCPATH");
      std::error_code ignored;
      std::filesystem::remove_all(fDirectory, ignored);
    }
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  // Whether LC_NUMERIC now has ',' as its decimal separator; else why not.
  bool Active() const { return fWhy.empty(); }
  const std::string& Why() const { return fWhy; }

 private:
  bool Try(const char* name) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
      fWhy.clear();
      return true;
    }
    std::setlocale(LC_NUMERIC, "C");
    return false;
  }

  std::string fDirectory;
  std::string fWhy = "no locale tried";
};

TEST_F(KVOVarListMetaDataTest, NumberTextUsesAPointUnderACommaLocale) {
  Pipeline p(SurveyData(), {{0, true}});
  KVOVarListMetaData builder = p.Builder(true);
  CommaLocale locale;
  if (!locale.Active()) GTEST_SKIP() << locale.Why();

  char check[16];
  std::snprintf(check, sizeof check, "%.1f", 0.5);
  ASSERT_STREQ(check, "0,5");  // the C library itself now writes a comma

  const VORM_Variable& grade = *p.ds->GetVariable(0);
  auto text = [&](double number) {
    OBS cell;
    cell.num = number;
    std::string out;
    builder.ConvertObsValToStr(&cell, grade, out);
    return out;
  };
  EXPECT_EQ(text(0.5), "0.5");
  EXPECT_EQ(text(1e20), "1e+20");
  EXPECT_EQ(text(-1234.5), "-1234.5");  // no grouping either
  EXPECT_EQ(text(2.5e-7), "2.5e-07");
  std::string out = "stale";
  builder.ConvertObsValToStr(nullptr, grade, out);
  EXPECT_EQ(out, "");
}

// A variable that declares a missing-value range although it is a string.
class RangeOnString : public kvotest::ForwardingVariable {
 public:
  using ForwardingVariable::ForwardingVariable;
  int GetMissingValues(const OBS*& m1, const OBS*& m2, const OBS*& m3) const override {
    fLow.num = 1.0;
    fHigh.num = 2.0;
    m1 = &fLow;
    m2 = &fHigh;
    m3 = nullptr;
    return VORM_MISSING_RANGE;
  }

 private:
  mutable OBS fLow{}, fHigh{};
};

TEST_F(KVOVarListMetaDataTest, ReportsBrokenConditionsAndGoesOn) {
  Pipeline p(SurveyData(), {{0, true}, {1, true}, {2, false}});
  const std::vector<std::string> none;
  {
    // Out of record order: the list gives index 0 to record index 1 and then
    // index 1 to record index 2. The string entry is looked up at index 1,
    // where the list has nothing yet.
    KVOVarListMetaData builder = p.Builder(true);
    EXPECT_TRUE(builder.AddRecVariable(1, true, INPUT, nullptr, ""));
    EXPECT_EQ(MetaDataAsserts(), (std::vector<std::string>{"newIndex == recIndex", "pIQorVar != 0"}));
    standin::ClearAssertReports();
    EXPECT_TRUE(builder.AddRecVariable(2, false, INPUT, nullptr, ""));
    EXPECT_EQ(MetaDataAsserts(), std::vector<std::string>{"newIndex == recIndex"});
    // Handed over all the same.
    EXPECT_EQ(p.list.GetEntry(0)->fName, "town");
    EXPECT_EQ(p.list.GetEntry(1)->fName, "income");
    standin::ClearAssertReports();
  }
  {
    // A record index that names no host variable.
    QorVarList list;
    KVOVarListMetaData builder(list, &p.specs, *p.ds, p.adapter.get(), true);
    EXPECT_FALSE(builder.AddRecVariable(7, true, INPUT, nullptr, ""));
    EXPECT_FALSE(builder.AddVariable(3, true, INPUT, nullptr));  // w has no slot
    EXPECT_EQ(list.Size(), 0);
    EXPECT_EQ(MetaDataAsserts(), (std::vector<std::string>{"pVariable != 0", "pVariable != 0"}));
    standin::ClearAssertReports();
  }
  {
    // A specification that maps record index 0 to town while the adapter
    // decoded grade there.
    KVOVarValidSpecs other;
    other.AddVariable(1, true);
    QorVarList list;
    KVOVarListMetaData builder(list, &other, *p.ds, p.adapter.get(), true);
    EXPECT_TRUE(builder.AddRecVariable(0, true, INPUT, nullptr, ""));
    EXPECT_EQ(MetaDataAsserts(), std::vector<std::string>(3, "vormX == vormInd"));
    standin::ClearAssertReports();
  }
  {
    // A range on a string variable is reported and still registered.
    RangeOnString town(*p.ds->GetVariable(1));
    kvotest::ForwardingDataSource dictionary(*p.ds);
    dictionary.Replace(1, town);
    QorVarList list;
    KVOVarListMetaData builder(list, &p.specs, dictionary, p.adapter.get(), true);
    EXPECT_TRUE(builder.AddRecVariable(0, true, INPUT, nullptr, ""));
    EXPECT_TRUE(builder.AddRecVariable(1, true, INPUT, nullptr, ""));
    EXPECT_EQ(MetaDataAsserts(), std::vector<std::string>{"vType == 0"});
    EXPECT_TRUE(list.GetEntry(1)->fHasMissingRange);
    standin::ClearAssertReports();
  }
  {
    // Bytes that are not UTF-8 under a UTF-8 host: reported, and each one
    // handed over as U+FFFD with the rest of the text.
    QorVarList list;
    KVOVarListMetaData builder(list, &p.specs, *p.ds, p.adapter.get(), true);
    EXPECT_EQ(builder.transcodeToUTF8("caf\xE9"), "caf" + REPLACEMENT);
    EXPECT_EQ(builder.transcodeToUTF8("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(builder.transcodeToUTF8(nullptr), "");
    EXPECT_TRUE(builder.AddRecVariable(0, true, INPUT, nullptr, "bad\xFF"));
    EXPECT_EQ(list.GetEntry(0)->fName, "bad" + REPLACEMENT);
    EXPECT_EQ(MetaDataAsserts(), (std::vector<std::string>{"errCode == 0", "errCode == 0"}));
    standin::ClearAssertReports();
  }
  {
    // A category added by hand as the system-missing value is handed over
    // and reported.
    bool added = false;
    const OBS sysmis = VORM_SystemMissing();
    EXPECT_EQ(p.adapter->EncodeRecordCatValue(0, &sysmis, added, true), 3);
    QorVarList list;
    KVOVarListMetaData builder(list, &p.specs, *p.ds, p.adapter.get(), true);
    EXPECT_TRUE(builder.AddRecVariable(0, true, INPUT, nullptr, ""));
    EXPECT_EQ(list.GetEntry(0)->fNumericValues, (std::vector<double>{3, 1, 2, SYSMIS}));
    EXPECT_EQ(MetaDataAsserts(), std::vector<std::string>{"catValue != VORM_SystemMissing().num"});
    standin::ClearAssertReports();
  }
  {
    // Without a specification or an adapter nothing can be added.
    QorVarList list;
    KVOVarListMetaData noSpecs(list, nullptr, *p.ds, p.adapter.get(), true);
    EXPECT_FALSE(noSpecs.AddVariable(0, true, INPUT, nullptr));
    EXPECT_FALSE(noSpecs.AddWeightVar(3, INPUT, IQorVariable::WRoundNearest));
    KVOVarListMetaData noAdapter(list, &p.specs, *p.ds, nullptr, true);
    EXPECT_FALSE(noAdapter.AddRecVariable(0, true, INPUT, nullptr, ""));
    EXPECT_EQ(list.Size(), 0);
    EXPECT_EQ(MetaDataAsserts(),
              (std::vector<std::string>{"fpValidSpecs != 0", "fpValidSpecs != 0", "fpInputAdapter != 0"}));
  }
  // Every report names the builder's source.
  for (const std::string& report : metadata_test::AllAsserts()) {
    EXPECT_NE(report.find("(" + metadata_test::METADATA_SOURCE + ")"), std::string::npos) << report;
  }
}

}  // namespace
