// Golden-text tests of the class dumps: a specification and an input adapter
// over a small CSV data set are read through one pass, and each class's dump is
// compared with text written out from the dump rules: in full where the lines
// carry the class's own rules, by its telling lines (in order) where a dump
// repeats the dumps of the objects it holds, which are checked on their own.
#include <gtest/gtest.h>
#include <vorm/ObsVecMap.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kvoadapter/KVOCommonDisplay.h"
#include "kvoadapter/KVOInputAdapter.h"
#include "kvoadapter/KVOMatrixSpecs.h"
#include "kvoadapter/KVOProcDataSourceIter.h"
#include "kvoadapter/KVOVarValidSpecs.h"
#include "kvoadapter/KVOVariableDesc.h"
#include "standin/CsvLoader.h"
#include "standin/HostControl.h"

namespace {

using Lines = std::vector<std::string>;

// Host variable indices of the data set.
constexpr int REGION = 0;  // string, width 10, A10
constexpr int GRADE = 1;   // numeric, F4.1, categorical in the record
constexpr int SEX = 2;     // numeric, F1.0, only in the matrix specification
constexpr int INCOME = 3;  // numeric, F8.2, continuous
constexpr int WEIGHT = 4;  // numeric, the data set's weight

// Appends `more` to `lines`.
void Append(Lines& lines, const Lines& more) { lines.insert(lines.end(), more.begin(), more.end()); }

// A dump's frame around its items.
Lines Framed(const std::string& start, const std::string& end, const Lines& items) {
  Lines lines{" ", start + " display start"};
  Append(lines, items);
  Append(lines, {" ", end + " display end"});
  return lines;
}

// Compares the text of a dump with the expected lines. Every line is sent
// after one line end, so the text is "\n" + line for each line.
void ExpectDump(const std::string& text, const Lines& expected) {
  ASSERT_FALSE(text.empty());
  ASSERT_EQ(text[0], '\n') << "a dump starts every line on a new line";
  Lines actual;
  size_t start = 1;
  while (true) {
    const size_t end = text.find('\n', start);
    actual.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
    EXPECT_EQ(actual[i], expected[i]) << "line " << i + 1;
  }
  EXPECT_EQ(actual.size(), expected.size()) << text;
}

// The dump holds the expected lines in this order, other lines between.
void ExpectDumpHas(const std::string& text, const Lines& expected) {
  std::istringstream lines(text);
  std::string line;
  size_t next = 0;
  while (next < expected.size() && std::getline(lines, line)) {
    if (line == expected[next]) ++next;
  }
  EXPECT_EQ(next, expected.size()) << "missing from the dump: \""
                                   << (next < expected.size() ? expected[next] : "") << "\"\n"
                                   << text;
}

// A string value as the host keeps it: blank-padded over its cells.
void PutString(OBS* cells, const std::string& text, int width) {
  std::memset(cells, ' ', static_cast<size_t>(VORM_CellCount(width)) * sizeof(OBS));
  std::memcpy(cells, text.data(), text.size());
}

class ClassDumpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::SetAssertHandler([this](const standin::AssertReport& r) { fReports.push_back(r); });
    // region A10, grade F4.1 (empty: system-missing), sex F1.0, income F8.2, w.
    const std::string dir = std::string(KVO_TEST_DATA_DIR) + "/display/";
    std::string error;
    fpData = standin::LoadCsvDataSource(dir + "dumps.csv", dir + "dumps.schema.json", standin::CsvOptions(),
                                        error);
    ASSERT_NE(fpData, nullptr) << error;
    ASSERT_TRUE(fpData->SetWeightVariable(WEIGHT));

    // Every combination of sex and region the data hold, each standing for
    // its own number.
    fpMatrixMap = std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(*fpData, fMatrixVars), 1);
    AddCombination(1, "North", 10.0);
    AddCombination(2, "South", 20.0);
    AddCombination(2, "East", 30.0);
    AddCombination(1, "West", 40.0);

    // Defaults: missing values processed, user-missing values valid,
    // listwise deletion at scoring. The record: grade, region, income, the
    // matrix, a free slot, the weight, the global and the local counter.
    fpSpecs = std::make_unique<KVOVarValidSpecs>(true, false, false);
    fpSpecs->SetStrongListWise(true);
    fpSpecs->AddVariable(GRADE, true, false, true, true);
    fpSpecs->AddVariable(REGION, true);
    fpSpecs->AddVariable(INCOME, false);
    fpSpecs->AddMatrixSpec(&fMatrixVars, fpMatrixMap.get(), &fMatrixFormats, 2, false);
    fpSpecs->AddFreeVariable(true);
    fpSpecs->SetWeightVar();
    fpSpecs->SetGlobalCount();
    fpSpecs->SetCaseCount();

    // One pass: the third case (grade missing, which grade's descriptor does
    // not allow) is rejected by strong listwise deletion before any of its
    // values is encoded, so "West" never becomes a category.
    fpAdapter = std::make_unique<KVOInputAdapter>(fpSpecs.get(), *fpData);
    {
      KVOProcDataSourceIter iterator(*fpAdapter, true);
      int records = 0;
      while (iterator.Next() != nullptr) ++records;
      ASSERT_EQ(records, 3);
    }
    fpAdapter->SetLastDataPass();

    KVOCommonDisplay::SetOutStream(&fOut);
  }

  void TearDown() override {
    KVOCommonDisplay::SetOutStream(nullptr);
    standin::SetEchoFront(true);
    standin::SetAssertHandler({});
    EXPECT_TRUE(fReports.empty()) << fReports.front().fCondition;
  }

  void AddCombination(double sex, const std::string& region, double value) {
    OBS key[3];
    key[0].num = sex;
    PutString(key + 1, region, 10);
    fpMatrixMap->Insert(key)->num = value;
  }

  // The text written so far, and a fresh start.
  std::string Take() {
    std::string text = fOut.str();
    fOut.str("");
    return text;
  }

  static Lines GradeDescDump() {
    return Framed(
        "KVOVariableDesc", "KVOVariableDesc",
        {"VORM variable index: = 1", "Record variable index: = 0", "Variable is categorical",
         "Listwise deletion applies to model when this variable takes sysmis value",
         "User missing values for this variable are excluded", "Sysmis values for this variable are scored"});
  }
  // Keys in ascending order: sex first, then region.
  static Lines MatrixDump() {
    return Framed("KVOMatrixSpecs", "KVOMatrixSpecs",
                  {"Variable list for Matrix specification: 2 0",
                   "Map of (catlist, value) pairs for Matrix specification:",
                   "Map key (list of strings): \"1\" \"North\"", "Map value = 10",
                   "Map key (list of strings): \"1\" \"West\"", "Map value = 40",
                   "Map key (list of strings): \"2\" \"East\"", "Map value = 30",
                   "Map key (list of strings): \"2\" \"South\"", "Map value = 20",
                   "Index of subcommand group for this matrix specification: = 2",
                   "User missing values for this matrix are treated as valid data"});
  }
  // grade's categories, then region's, in order of first appearance.
  static Lines CatAdapterDumps() {
    return {"Encoded values for Korel variable grade", "Encoded value = 0, for OBS value 2.0",
            "Encoded value = 1, for OBS value 1.5",    "Encoded values for Korel variable region",
            "Encoded value = 0, for OBS value North",  "Encoded value = 1, for OBS value South",
            "Encoded value = 2, for OBS value East"};
  }
  // The input adapter's own lines; the categorical adapters' dumps come
  // between the slot list and the counters.
  static Lines InputAdapterLines() {
    Lines lines{"KVOInputAdapter display start",
                "Number of categorical variables = 2",
                "Number of continuous variables = 1",
                "Number of MATRIX specifications = 1",
                "Component variable index = 2, Korel name = income",
                "Component variable index = 3, Korel name = MATRIX specification",
                "Component variable index = 4, Korel name = Internal Variable",
                "Component variable index = 5, Korel name = Weight variable",
                "Component variable index = 6, Korel name = Global case ID variable",
                "Component variable index = 7, Korel name = Case ID variable"};
    Append(lines, CatAdapterDumps());
    Append(lines,
           {"Number of cases read from the procedure data source = 4",
            "Number of records passed to the component = 3", "Indicator of score iteration set = false",
            "Data pass counter = 0", "Indicator of the last data pass = true", "Split file indicator = false",
            "Split file counter = 0", "Number of valid cases = 3", "Number of invalid cases = 1",
            "KVOInputAdapter display end"});
    return lines;
  }

  std::vector<standin::AssertReport> fReports;
  std::unique_ptr<standin::MemoryDataSource> fpData;
  const std::vector<int> fMatrixVars{SEX, REGION};
  const std::vector<VORM_Format> fMatrixFormats{VORM_Format(VORM_Format::F, 1, 0),
                                                VORM_Format(VORM_Format::A, 10, 0)};
  std::unique_ptr<ObsVecMap> fpMatrixMap;
  std::unique_ptr<KVOVarValidSpecs> fpSpecs;
  std::unique_ptr<KVOInputAdapter> fpAdapter;
  std::ostringstream fOut;
};

TEST_F(ClassDumpsTest, VariableDescShowsIndicesKindAndMissingValueRules) {
  fpSpecs->GetRecVarDescPtr(0)->Display();
  ExpectDump(Take(), GradeDescDump());
  // The other wording of each rule: region's flags, and a descriptor of no slot.
  fpSpecs->GetRecVarDescPtr(1)->Display();
  ExpectDumpHas(Take(), {"Sysmis values for this variable are processed",
                         "User missing values for this variable are treated as valid data",
                         "Listwise deletion applies to scoring when this variable takes sysmis value"});
  KVOVariableDesc().Display();
  ExpectDumpHas(Take(), {"VORM Variable index is not set", "Record variable index is not set"});
}

TEST_F(ClassDumpsTest, VarValidSpecsShowsGroupRulesSlotsDescriptorsMatricesAndNames) {
  fpSpecs->Display();
  Lines items{" ",
              "KVOVarValidSpecs (the base class) display start",
              "Sysmis values for this variable group are processed",
              "User missing values for this variable group are treated as valid data",
              "Listwise deletion applies to scoring when this variable group takes sysmis value",
              "Listwise deletion (strong) applies before variable values are encoded",
              "Case counter index in the record = 7",
              "Global case counter index in the record = 6",
              "Number of variable descriptors = 8",
              "Start displaying variable descriptors;"};
  Append(items, GradeDescDump());
  Append(items,
         {"Record variable index: = 1", "Record variable index: = 7", "End displaying variable descriptors;",
          "Number of matrices = 1", "Start displaying matrix specifications;"});
  Append(items, MatrixDump());
  // Host variable i's record index is element i: sex (2) has no slot.
  Append(items,
         {"End displaying matrix specifications;", "Vector of VORM indices for categorical variables: 1 0",
          "Vector of VORM indices for continuous variables: 3", "Vector of Korel variable indices: 1 0 -1 2",
          "KVOVarValidSpecs display end"});
  ExpectDumpHas(Take(), items);

  // An empty specification with the other default rules and soft deletion.
  KVOVarValidSpecs(false, true, true).Display();
  ExpectDump(Take(), Framed("KVOVarValidSpecs (the base class)", "KVOVarValidSpecs",
                            {"Listwise deletion applies to model when this variable group takes sysmis value",
                             "User missing values for this variable group are excluded",
                             "Sysmis values for this variable group are scored",
                             "Listwise deletion (soft) applies after variable values are encoded",
                             "Case counter is not set", "Global case counter is not set",
                             "Number of variable descriptors = 0", "No variables are specified for recoding",
                             "Number of matrices = 0", "No matrix specifications",
                             "Vector of VORM indices for categorical variables is not defined",
                             "Vector of VORM indices for continuous variables is not defined",
                             "Vector of Korel variable indices is not defined"}));

  // The weight slot takes the data set's weight variable's name, or the
  // host's generic one when the data are unweighted.
  fpSpecs->DisplayVarNames(*fpData);
  ASSERT_TRUE(fpData->SetWeightVariable(-1));
  fpSpecs->DisplayVarNames(*fpData);
  ExpectDump(Take(),
             {"Vector of variable names in the record: \"grade\" \"region\" \"income\" "
              "\"Internal Variable\" \"Internal Variable\" \"w\" \"Global Case Count\" \"Local Case Count\"",
              "Vector of variable names in the record: \"grade\" \"region\" \"income\" "
              "\"Internal Variable\" \"Internal Variable\" \"VORM Weight\" \"Global Case Count\" "
              "\"Local Case Count\""});
}

TEST_F(ClassDumpsTest, MatrixSpecsShowsVariablesCombinationsGroupAndUserMissingRule) {
  fpSpecs->GetMatrixSpecsPtr(0)->Display();
  KVOMatrixSpecs().Display();
  Lines expected = MatrixDump();
  Append(expected, Framed("KVOMatrixSpecs", "KVOMatrixSpecs",
                          {"Variable list for Matrix specification: <none>",
                           "Map of (catlist, value) pairs for Matrix specification: <none>",
                           "Index of subcommand group for this matrix specification: = 0",
                           "User missing values for this matrix are excluded"}));
  ExpectDump(Take(), expected);
}

TEST_F(ClassDumpsTest, CatVarAdapterShowsEachCodeWithItsFormattedValue) {
  for (const KVOCatVarAdapter* adapter : fpAdapter->GetCatAdapters()) adapter->Display();
  ExpectDump(Take(), CatAdapterDumps());
}

TEST_F(ClassDumpsTest, InputAdapterShowsShapeSlotsCategoriesCountersAndPassStateToStreamOrHost) {
  fpAdapter->Display();
  const std::string streamed = Take();
  ExpectDumpHas(streamed, InputAdapterLines());
  // Without a stream every line reaches the host's output.
  KVOCommonDisplay::SetOutStream(nullptr);
  standin::SetEchoFront(false);
  standin::ClearFrontOutput();
  fpAdapter->Display();
  EXPECT_EQ(standin::FrontOutput(), streamed);
  EXPECT_TRUE(Take().empty());
  standin::ClearFrontOutput();
}

}  // namespace
