// The main loop as a modeling component drives it: records pulled through
// the data-pass iterator over generated data sets, compared with records
// worked out independently here from the rules (codes in order of first
// appearance, listwise deletion, weight adjustment, counts per split group).
#include <gtest/gtest.h>
#include <kvoadapter/KVOProcDataSourceIter.h>
#include <vorm/ObsVecMap.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <utility>

#include "MainLoopTestSupport.h"

namespace {

using kvotest::CountingProcedure;
using mainloop_test::AddRow;
using mainloop_test::Cell;
using mainloop_test::SYSMIS;

// One case of the generated data, sorted by region (the split variable).
struct Row {
  double fRegion;
  std::string fColor;  // "none" is user-missing
  double fSize;        // 9 is user-missing
  double fIncome;      // 99 is user-missing
  double fWeight;
};

// How a data pass is set up.
struct Scenario {
  WeightAdjType fWeightType = WeightRound;
  bool fbWeightFilter = false;
  bool fbStrong = false;
  bool fbExclUserMiss = true;
  bool fbSplit = false;
  bool fbKeep = true;
  bool fbMatrix = false;
};

// Record slots.
struct Layout {
  int fColor = -1, fSize = -1, fIncome = -1, fMatrix = -1, fFree = -1, fWeight = -1, fLocal = -1,
      fGlobal = -1;
  int fRecordSize = 0;
};

// What one split group of one pass yields.
struct GroupResult {
  std::vector<std::vector<double>> fRecords;
  int fNCases = 0, fNRecords = 0, fNValid = 0, fNInvalid = 0;
  double fWeightCases = 0.0, fWeightValid = 0.0, fWeightInvalid = 0.0;
};

// The rules of the main loop, written out case by case, independent of the
// library: the expected records and counters of each group of a pass.
class DataPassModel {
 public:
  using MatrixMap = std::map<std::pair<std::string, double>, double>;

  DataPassModel(const std::vector<Row>& rows, const Layout& layout, const Scenario& scenario,
                const MatrixMap& matrix)
      : fRows(rows), fLayout(layout), fScenario(scenario), fMatrix(matrix) {}

  // The next pass; `fatalCase` is the case number from which the host
  // reports a fatal error (0: never). Sets fbBroken when the pass breaks.
  std::vector<GroupResult> Pass(bool score, int64_t fatalCase = 0) {
    std::vector<GroupResult> groups;
    fbBroken = false;
    const bool hostFilter = fScenario.fbWeightFilter && !score;
    double region = 0.0;
    for (size_t i = 0; i < fRows.size() && !fbBroken; ++i) {
      const Row& row = fRows[i];
      const int64_t caseNumber = static_cast<int64_t>(i) + 1;
      if (hostFilter && (row.fWeight == SYSMIS || row.fWeight <= 0.0)) continue;  // the host skips it
      if (groups.empty() || (fScenario.fbSplit && row.fRegion != region)) {
        groups.emplace_back();
        region = row.fRegion;
        BeginGroup(static_cast<int>(groups.size()) - 1);
      }
      Case(groups.back(), row, caseNumber, score, fatalCase);
    }
    ++fPass;
    return groups;
  }

  // The categories of a group, in code order.
  std::vector<Cell> ColorCategories(int group) const { return InCodeOrder(fCodes.at(GroupKey(group)).first); }
  std::vector<Cell> SizeCategories(int group) const { return InCodeOrder(fCodes.at(GroupKey(group)).second); }

  int fNMessages = 0;
  bool fbBroken = false;

 private:
  using Codes = std::map<Cell, int>;

  // Which code maps a group uses: each group its own with split files; kept
  // across passes unless split information is dropped.
  int GroupKey(int group) const { return fScenario.fbSplit && fScenario.fbKeep ? group : 0; }

  void BeginGroup(int group) {
    // Without kept information every group, and every pass, starts afresh.
    if (fScenario.fbSplit && !fScenario.fbKeep) fCodes.erase(0);
    fCodes.try_emplace(GroupKey(group));
    fCurrent = &fCodes.at(GroupKey(group));
  }

  // The code of a valid value: collected in the first pass, replayed later.
  int Code(Codes& codes, const Cell& value) const {
    auto found = codes.find(value);
    if (found != codes.end()) return found->second;
    if (fPass > 0) return -1;
    const int code = static_cast<int>(codes.size());
    codes.emplace(value, code);
    return code;
  }

  static std::vector<Cell> InCodeOrder(const Codes& codes) {
    std::vector<Cell> values(codes.size());
    for (const auto& [value, code] : codes) values[static_cast<size_t>(code)] = value;
    return values;
  }

  std::pair<double, bool> AdjustedWeight(double w) const {
    if (w == SYSMIS) return {0.0, false};
    switch (fScenario.fWeightType) {
      case WeightRound:
        return w >= 0.5 ? std::make_pair(std::floor(w + 0.5), true) : std::make_pair(0.0, false);
      case WeightTruncate:
        return w >= 1.0 ? std::make_pair(std::floor(w), true) : std::make_pair(0.0, false);
      default:
        return w > 0.0 ? std::make_pair(w, true) : std::make_pair(0.0, false);
    }
  }

  void Case(GroupResult& group, const Row& row, int64_t caseNumber, bool score, int64_t fatalCase) {
    ++group.fNCases;
    std::vector<double> record(static_cast<size_t>(fLayout.fRecordSize), 0.0);
    const auto [weight, weightOk] = AdjustedWeight(row.fWeight);
    group.fWeightCases += weight;
    const bool excl = fScenario.fbExclUserMiss;
    // Variable rules: color allows missing values in both modes, size only
    // when scoring, income never.
    const bool colorAllowed = true, sizeAllowed = score, incomeAllowed = false;
    const bool colorValid = !(excl && row.fColor == "none");
    const bool sizeValid = row.fSize != SYSMIS && !(excl && row.fSize == 9.0);
    const bool incomeValid = row.fIncome != SYSMIS && !(excl && row.fIncome == 99.0);
    // The matrix counts user-missing values as data.
    const bool matrixVarsValid = row.fSize != SYSMIS;

    bool valid = weightOk || score;
    if (valid && fScenario.fbStrong) {
      valid = (colorValid || colorAllowed) && (sizeValid || sizeAllowed) && (incomeValid || incomeAllowed) &&
              (!fScenario.fbMatrix || matrixVarsValid);
    }
    if (valid) {
      const int colorCode = colorValid ? Code(fCurrent->first, Cell(row.fColor)) : -1;
      const int sizeCode = sizeValid ? Code(fCurrent->second, Cell(row.fSize)) : -1;
      record[Slot(fLayout.fColor)] = colorCode == -1 && !colorAllowed ? SYSMIS : colorCode;
      record[Slot(fLayout.fSize)] = sizeCode == -1 && !sizeAllowed ? SYSMIS : sizeCode;
      record[Slot(fLayout.fIncome)] = incomeValid ? row.fIncome : SYSMIS;
      valid = !(colorCode == -1 && !colorAllowed) && !(sizeCode == -1 && !sizeAllowed) &&
              !(!incomeValid && !incomeAllowed);
    }
    if (valid) {
      bool recoded = true;
      if (fScenario.fbMatrix) {
        auto found = matrixVarsValid ? fMatrix.find({row.fColor, row.fSize}) : fMatrix.end();
        recoded = found != fMatrix.end();
        record[Slot(fLayout.fMatrix)] = recoded ? found->second : SYSMIS;
        if (!recoded && fPass == 0) ++fNMessages;
      }
      if (recoded) record[Slot(fLayout.fFree)] = SYSMIS;
      valid = recoded || score;
    }
    if (valid) {
      record[Slot(fLayout.fWeight)] = weight;
      record[Slot(fLayout.fGlobal)] = static_cast<double>(caseNumber);
      record[Slot(fLayout.fLocal)] = group.fNCases - 1;
      ++group.fNValid;
      ++group.fNRecords;
      group.fWeightValid += weight;
      group.fRecords.push_back(record);
      return;
    }
    if (fatalCase > 0 && caseNumber >= fatalCase) {
      fbBroken = true;
      return;
    }
    ++group.fNInvalid;
    group.fWeightInvalid += weight;
  }

  static size_t Slot(int recInd) { return static_cast<size_t>(recInd); }

  const std::vector<Row>& fRows;
  Layout fLayout;
  Scenario fScenario;
  const MatrixMap& fMatrix;
  int fPass = 0;
  std::map<int, std::pair<Codes, Codes>> fCodes;
  std::pair<Codes, Codes>* fCurrent = nullptr;
};

// Generated rows: three regions of 40, 30 and 50 cases with every kind of
// missing value and weight, plus a few planted cases (see below).
std::vector<Row> MakeRows() {
  std::mt19937_64 random(20240611);
  const std::vector<std::string> colors = {"red", "green", "blue", "black", "white", "none"};
  const std::vector<double> sizes = {1, 2, 3, 4, 5, 6, 9, SYSMIS};
  const std::vector<double> weights = {1.0, 1.0,  1.0, 2.0,  0.49,   0.5,  1.5,
                                       2.5, 2.51, 0.0, -1.0, SYSMIS, 0.99, 3.2};
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  std::vector<Row> rows;
  const int groupSizes[] = {40, 30, 50};
  for (int g = 0; g < 3; ++g) {
    for (int i = 0; i < groupSizes[g]; ++i) {
      Row row;
      row.fRegion = g + 1.0;
      row.fColor = colors[pick(colors.size())];
      row.fSize = sizes[pick(sizes.size())];
      const size_t incomeKind = pick(20);
      row.fIncome = incomeKind == 0   ? SYSMIS
                    : incomeKind == 1 ? 99.0
                                      : 1000.0 + 10.0 * static_cast<double>(pick(400));
      row.fWeight = i < 2 ? 1.0 : weights[pick(weights.size())];  // every group starts with usable cases
      rows.push_back(row);
    }
  }
  // "purple" only ever comes with a missing size: soft deletion gives it a
  // code, strong deletion does not.
  rows[45] = {2.0, "purple", SYSMIS, 1500.0, 1.0};
  // "orange" only comes with a zero weight: no pass but a scoring pass sees it.
  rows[12] = {1.0, "orange", 2.0, 1500.0, 0.0};
  // (violet, 5) is the combination the matrix lacks.
  rows[20] = {1.0, "violet", 5.0, 1500.0, 1.0};
  return rows;
}

// Pulls one pass, group by group, as a component does. A last group
// without records ends with the data inside NewSplit, which then reports
// no further group although that one began: the split count tells.
std::vector<GroupResult> ReadPass(KVOProcDataSourceIter& iter, KVOInputAdapter& adapter) {
  std::vector<GroupResult> groups;
  for (bool more = true; more;) {
    GroupResult group;
    while (iter.HasMore()) {
      const QorCommon::Record* record = iter.Next();
      group.fRecords.emplace_back(record->GetAll(), record->GetAll() + record->GetSize());
    }
    group.fNCases = adapter.GetNCases();
    group.fNRecords = adapter.GetNRecords();
    group.fNValid = adapter.GetNValidCases();
    group.fNInvalid = adapter.GetNInvalidCases();
    group.fWeightCases = adapter.GetWeightNCases();
    group.fWeightValid = adapter.GetWeightNValidCases();
    group.fWeightInvalid = adapter.GetWeightNInvalidCases();
    groups.push_back(std::move(group));
    if (iter.GetFailReason() != 1 || !iter.GetSplitFile()) break;
    const int begun = adapter.GetSplitCount();
    more = iter.NewSplit() || adapter.GetSplitCount() > begun;
  }
  return groups;
}

void ExpectSame(const std::vector<GroupResult>& actual, const std::vector<GroupResult>& expected,
                const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t g = 0; g < expected.size(); ++g) {
    const GroupResult& a = actual[g];
    const GroupResult& e = expected[g];
    const std::string where = what + ", group " + std::to_string(g + 1);
    EXPECT_EQ(a.fNCases, e.fNCases) << where;
    EXPECT_EQ(a.fNRecords, e.fNRecords) << where;
    EXPECT_EQ(a.fNValid, e.fNValid) << where;
    EXPECT_EQ(a.fNInvalid, e.fNInvalid) << where;
    EXPECT_DOUBLE_EQ(a.fWeightCases, e.fWeightCases) << where;
    EXPECT_DOUBLE_EQ(a.fWeightValid, e.fWeightValid) << where;
    EXPECT_DOUBLE_EQ(a.fWeightInvalid, e.fWeightInvalid) << where;
    ASSERT_EQ(a.fRecords.size(), e.fRecords.size()) << where;
    for (size_t r = 0; r < e.fRecords.size(); ++r) {
      EXPECT_EQ(a.fRecords[r], e.fRecords[r]) << where << ", record " << r;
    }
  }
}

// The adapter's categories of the current group, decoded.
std::vector<Cell> Categories(const KVOInputAdapter& adapter, int recInd, bool string) {
  std::vector<Cell> values;
  for (int code = 0; code < adapter.GetRecordCatVarSize(recInd); ++code) {
    const OBS* value = adapter.DecodeRecordCatValue(recInd, code);
    if (string) {
      std::string text = kvotest::Bytes(value, 8);
      text.erase(text.find_last_not_of(' ') + 1);
      values.emplace_back(text);
    } else {
      values.emplace_back(value->num);
    }
  }
  return values;
}

// The variable slots every scenario has, with the rules the model knows:
// color allows missing values in both modes, size only when scoring,
// income never.
void AddVariableSlots(KVOVarValidSpecs& specs, const Scenario& scenario, Layout& layout, int color, int size,
                      int income) {
  specs.SetStrongListWise(scenario.fbStrong);
  const bool excl = scenario.fbExclUserMiss;
  layout.fColor = specs.AddVariable(color, true, /*procSysMiss=*/true, excl, /*scoreSysMiss=*/true);
  layout.fSize = specs.AddVariable(size, true, /*procSysMiss=*/false, excl, /*scoreSysMiss=*/true);
  layout.fIncome = specs.AddVariable(income, false, /*procSysMiss=*/false, excl, /*scoreSysMiss=*/false);
}

// A free slot, the weight and both counters.
void AddOtherSlots(KVOVarValidSpecs& specs, Layout& layout) {
  layout.fFree = specs.AddFreeVariable(true);
  layout.fWeight = specs.SetWeightVar();
  layout.fLocal = specs.SetCaseCount();
  layout.fGlobal = specs.SetGlobalCount();
  layout.fRecordSize = specs.GetNRecordVars();
}

class DataPassIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::VariableSpec regionSpec;
    regionSpec.fName = "region";
    regionSpec.fFormat = VORM_Format(VORM_Format::F, 8, 0);
    regionSpec.fMeasure = standin::Measure::Nominal;
    regionSpec.fNumericLabels = {{1.0, "North"}, {2.0, "South"}, {3.0, "West"}};
    region = ds.AddVariable(regionSpec);
    color = ds.AddString("color", 8);
    ds.Spec(color).fMissingStrings = {"none"};
    size = ds.AddNumeric("size", standin::Measure::Nominal);
    ds.Spec(size).fMissingNumbers = {9};
    income = ds.AddNumeric("income");
    ds.Spec(income).fMissingNumbers = {99};
    weightVar = ds.AddNumeric("w");
    matrixVars = {color, size};
    rows = MakeRows();
    for (const Row& row : rows) AddRow(ds, {row.fRegion, row.fColor, row.fSize, row.fIncome, row.fWeight});
    ASSERT_TRUE(ds.SetWeightVariable(weightVar));
    ds.SetWeightFilter(false);  // the scenarios that want the host's filter turn it on
    ds.SetSplitVariables({region});
    // Every combination of the data's colors and valid sizes but (violet, 5).
    for (const Row& row : rows) {
      if (row.fSize == SYSMIS || (row.fColor == "violet" && row.fSize == 5.0)) continue;
      matrix.try_emplace({row.fColor, row.fSize}, 1000.0 + static_cast<double>(matrix.size()));
    }
  }

  // The specification list of a scenario: color, size, income, [matrix], a free
  // slot, the weight and both counters.
  Layout Specify(KVOVarValidSpecs& specs, const Scenario& scenario) {
    Layout layout;
    AddVariableSlots(specs, scenario, layout, color, size, income);
    if (scenario.fbMatrix) {
      matrixMap = std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(ds, matrixVars), 1);
      for (const auto& [combination, value] : matrix) {
        const std::vector<OBS> key =
            kvotest::Join({kvotest::StrCells(combination.first, 8), kvotest::NumCells(combination.second)});
        matrixMap->Insert(key.data())->num = value;
      }
      layout.fMatrix =
          specs.AddMatrixSpec(&matrixVars, matrixMap.get(), &matrixFormats, 5, /*exclUserMiss=*/false);
    }
    AddOtherSlots(specs, layout);
    return layout;
  }

  kvotest::QuietHost quiet;
  standin::MemoryDataSource ds;
  int region = -1, color = -1, size = -1, income = -1, weightVar = -1;
  std::vector<Row> rows;
  DataPassModel::MatrixMap matrix;
  std::vector<int> matrixVars;  // color, size
  const std::vector<VORM_Format> matrixFormats = {VORM_Format(VORM_Format::A, 8, 0),
                                                  VORM_Format(VORM_Format::F, 8, 0)};
  std::unique_ptr<ObsVecMap> matrixMap;
};

// One pass of each way of reading: the weight adjustments with and without
// the host's filter, soft and strong deletion, user-missing values excluded
// and included.
TEST_F(DataPassIntegrationTest, EveryScenarioMatchesTheModel) {
  const struct {
    const char* fName;
    WeightAdjType fType;
    bool fbFilter, fbStrong, fbExcl;
  } cases[] = {
      {"round", WeightRound, false, false, true},
      {"round, host filter", WeightRound, true, false, true},
      {"truncate", WeightTruncate, false, false, true},
      {"truncate, host filter", WeightTruncate, true, false, true},
      {"as is", WeightAsIs, false, false, true},
      {"as is, host filter", WeightAsIs, true, false, true},
      {"strong", WeightRound, false, true, true},
      {"truncate, strong, host filter", WeightTruncate, true, true, true},
      {"user-missing included", WeightRound, false, false, false},
  };
  std::map<std::string, std::vector<Cell>> colors;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fName);
    Scenario scenario;
    scenario.fWeightType = c.fType;
    scenario.fbWeightFilter = c.fbFilter;
    scenario.fbStrong = c.fbStrong;
    scenario.fbExclUserMiss = c.fbExcl;
    ds.SetWeightFilter(c.fbFilter);
    KVOVarValidSpecs specs;
    const Layout layout = Specify(specs, scenario);
    KVOInputAdapter adapter(&specs, ds);
    adapter.SetWeightAdjType(c.fType);
    KVOProcDataSourceIter iter(adapter, true);
    DataPassModel model(rows, layout, scenario, matrix);
    ExpectSame(ReadPass(iter, adapter), model.Pass(false), c.fName);
    colors[c.fName] = Categories(adapter, layout.fColor, true);
    EXPECT_EQ(colors[c.fName], model.ColorCategories(0));
    EXPECT_EQ(Categories(adapter, layout.fSize, false), model.SizeCategories(0));
  }
  // Soft deletion met "purple" before rejecting its case, strong did not;
  // "none" is a category only when user-missing values count as data.
  auto has = [&](const char* scenario, const char* text) {
    const std::vector<Cell>& values = colors[scenario];
    return std::find(values.begin(), values.end(), Cell(std::string(text))) != values.end();
  };
  EXPECT_TRUE(has("round", "purple"));
  EXPECT_FALSE(has("strong", "purple"));
  EXPECT_FALSE(has("round", "none"));
  EXPECT_TRUE(has("user-missing included", "none"));
}

// With strong deletion and truncated weights.
TEST_F(DataPassIntegrationTest, ThreeSplitGroupsReadInTwoPassesWithKeptInformation) {
  Scenario scenario;
  scenario.fbSplit = true;
  scenario.fbWeightFilter = true;
  scenario.fbStrong = true;
  scenario.fWeightType = WeightTruncate;
  ds.SetWeightFilter(true);
  KVOVarValidSpecs specs;
  const Layout layout = Specify(specs, scenario);
  KVOInputAdapter adapter(&specs, ds);
  adapter.SetWeightAdjType(WeightTruncate);
  CountingProcedure procedure;
  adapter.SetSplitFile(procedure, true, true, true);
  KVOProcDataSourceIter iter(adapter, true);
  DataPassModel model(rows, layout, scenario, matrix);

  ExpectSame(ReadPass(iter, adapter), model.Pass(false), "pass 1");
  EXPECT_EQ(adapter.GetNSplitData(), 3);
  EXPECT_EQ(procedure.fNChanges, 3);
  ASSERT_EQ(iter.NewPass(), 0);
  ExpectSame(ReadPass(iter, adapter), model.Pass(false), "pass 2");
  EXPECT_EQ(procedure.fNChanges, 6);

  // Each group's categories, split values and labels read back without an
  // iterator.
  ASSERT_EQ(adapter.GetDSIterator(), nullptr);
  adapter.ResetSplitNoIter();
  const char* labels[] = {"North", "South", "West"};
  int cases = 0;
  for (int group = 0; group < 3; ++group) {
    adapter.ChangeSplitNoIter();
    EXPECT_EQ(Categories(adapter, layout.fColor, true), model.ColorCategories(group)) << group;
    EXPECT_EQ(Categories(adapter, layout.fSize, false), model.SizeCategories(group)) << group;
    std::vector<std::string> values, valueLabels;
    ASSERT_EQ(adapter.GetSplitValuesAndLabels(values, valueLabels), 1);
    EXPECT_EQ(values[0], std::to_string(group + 1));
    EXPECT_EQ(valueLabels[0], labels[group]);
    cases += adapter.GetNCases();
  }
  EXPECT_EQ(adapter.GetCumNCases(), cases);
}

TEST_F(DataPassIntegrationTest, ThreeSplitGroupsReadInTwoPassesWithoutKeptInformation) {
  Scenario scenario;
  scenario.fbSplit = true;
  scenario.fbKeep = false;
  KVOVarValidSpecs specs;
  const Layout layout = Specify(specs, scenario);
  KVOInputAdapter adapter(&specs, ds);
  CountingProcedure procedure;
  adapter.SetSplitFile(procedure, true, true, false);
  KVOProcDataSourceIter iter(adapter, true);
  DataPassModel model(rows, layout, scenario, matrix);
  ExpectSame(ReadPass(iter, adapter), model.Pass(false), "pass 1");
  EXPECT_EQ(adapter.GetNSplitData(), 1);
  EXPECT_EQ(Categories(adapter, layout.fColor, true), model.ColorCategories(2));
  // Each new pass starts with fresh adapters, which replay no category:
  // every size is without category and the second pass delivers nothing.
  ASSERT_EQ(iter.NewPass(), 1);
  const std::vector<GroupResult> expected = model.Pass(false);
  ExpectSame(ReadPass(iter, adapter), expected, "pass 2");
  for (const GroupResult& group : expected) EXPECT_TRUE(group.fRecords.empty());
  EXPECT_EQ(adapter.GetNSplitData(), 1);
  EXPECT_EQ(adapter.GetSplitCount(), 3);
}

TEST_F(DataPassIntegrationTest, ScoringPassAfterAModelBuildingPass) {
  Scenario scenario;
  scenario.fbWeightFilter = true;
  ds.SetWeightFilter(true);
  KVOVarValidSpecs specs;
  const Layout layout = Specify(specs, scenario);
  KVOInputAdapter adapter(&specs, ds);
  KVOProcDataSourceIter iter(adapter, true);
  DataPassModel model(rows, layout, scenario, matrix);
  ExpectSame(ReadPass(iter, adapter), model.Pass(false), "building");

  ASSERT_EQ(iter.NewPass(true), 0);
  EXPECT_FALSE(ds.GetWeightFilter());  // the scoring pass reads every case
  const std::vector<GroupResult> scored = ReadPass(iter, adapter);
  ExpectSame(scored, model.Pass(true), "scoring");
  // The zero-weight "orange" case is delivered without a category.
  bool orangeSeen = false;
  for (const std::vector<double>& record : scored[0].fRecords) {
    if (record[static_cast<size_t>(layout.fGlobal)] == 13.0) {
      orangeSeen = true;
      EXPECT_EQ(record[static_cast<size_t>(layout.fColor)], -1.0);
      EXPECT_EQ(record[static_cast<size_t>(layout.fWeight)], 0.0);
    }
  }
  EXPECT_TRUE(orangeSeen);
  EXPECT_EQ(iter.StopPass(), 1);
  EXPECT_TRUE(ds.GetWeightFilter());
}

TEST_F(DataPassIntegrationTest, BadMatrixCombinationIsReportedOnceInTheFirstPassOnly) {
  Scenario scenario;
  scenario.fbMatrix = true;
  KVOVarValidSpecs specs;
  const Layout layout = Specify(specs, scenario);
  KVOInputAdapter adapter(&specs, ds);
  KVOProcDataSourceIter iter(adapter, true);
  DataPassModel model(rows, layout, scenario, matrix);
  ExpectSame(ReadPass(iter, adapter), model.Pass(false), "pass 1");
  ASSERT_EQ(model.fNMessages, 1);
  std::vector<standin::HostMessage> messages = standin::Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].fText.rfind("No specification for matrix in subcommand group 5", 0), 0u)
      << messages[0].fText;
  EXPECT_NE(messages[0].fText.find("violet"), std::string::npos) << messages[0].fText;

  ASSERT_EQ(iter.NewPass(), 0);
  ExpectSame(ReadPass(iter, adapter), model.Pass(false), "pass 2");
  EXPECT_EQ(standin::Messages().size(), 1u);
}

TEST_F(DataPassIntegrationTest, FatalHostErrorInTheMiddleOfAPass) {
  // Case 31 is the first rejected case from case 30 on.
  int64_t fatalCase = 0;
  {
    Scenario probe;
    KVOVarValidSpecs specs;
    const Layout layout = Specify(specs, probe);
    DataPassModel model(rows, layout, probe, matrix);
    const GroupResult all = model.Pass(false).front();
    std::vector<bool> delivered(rows.size() + 1, false);
    for (const std::vector<double>& record : all.fRecords) {
      delivered[static_cast<size_t>(record[static_cast<size_t>(layout.fGlobal)])] = true;
    }
    for (size_t c = 30; c <= rows.size() && fatalCase == 0; ++c) {
      if (!delivered[c]) fatalCase = static_cast<int64_t>(c);
    }
    ASSERT_GT(fatalCase, 0);
  }
  ds.SetFatalErrorAtCase(fatalCase);
  Scenario scenario;
  KVOVarValidSpecs specs;
  const Layout layout = Specify(specs, scenario);
  KVOInputAdapter adapter(&specs, ds);
  KVOProcDataSourceIter iter(adapter, true);
  DataPassModel model(rows, layout, scenario, matrix);
  const std::vector<GroupResult> actual = ReadPass(iter, adapter);
  EXPECT_EQ(iter.GetFailReason(), 3);
  ExpectSame(actual, model.Pass(false, fatalCase), "fatal");
  EXPECT_TRUE(model.fbBroken);
  // The broken case was read but not counted as invalid.
  EXPECT_EQ(actual[0].fNCases, actual[0].fNValid + actual[0].fNInvalid + 1);
  EXPECT_LT(actual[0].fRecords.back()[static_cast<size_t>(layout.fGlobal)], static_cast<double>(fatalCase));
  EXPECT_EQ(iter.StopPass(), 3) << "a broken pass stays broken";
}

}  // namespace
