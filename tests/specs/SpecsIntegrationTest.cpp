// A small survey read case by case through a record specification: the
// categorical codes, continuous values and ranges, matrix recodes and the
// local case counter are compared with values worked out by hand.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SpecsTestSupport.h"
#include "kvoadapter/KVOCatVarAdapter.h"
#include "kvoadapter/KVOContVarAdapter.h"
#include "kvoadapter/KVOInpAdaptMsg.h"
#include "kvoadapter/KVOMatrixSpecAdapter.h"
#include "kvoadapter/KVOVarValidSpecs.h"
#include "standin/CsvLoader.h"

namespace {

using specs_test::Join;
using specs_test::NewIterator;
using specs_test::NumCells;
using specs_test::StrCells;

constexpr double S = specs_test::SYSMIS;

// The survey, read from tests/data/specs/survey.csv with its schema: region
// (integer, user-missing 8 and 9), city (14-byte string, user-missing
// "UNKNOWN"), income (user-missing 900 thru 999), age (no missing values),
// sex (1-byte string). Empty cells are system-missing.
constexpr int N_CASES = 12;
std::unique_ptr<standin::MemoryDataSource> LoadSurvey() {
  const std::string dir = std::string(KVO_TEST_DATA_DIR) + "/specs/";
  std::string error;
  std::unique_ptr<standin::MemoryDataSource> data = standin::LoadCsvDataSource(
      dir + "survey.csv", dir + "survey.schema.json", standin::CsvOptions(), error);
  if (!data) {
    ADD_FAILURE() << "loading the survey: " << error;
    data = std::make_unique<standin::MemoryDataSource>();
  }
  return data;
}

class SpecsIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fRegion = fData.FindVarIndex("region", 0);
    fCity = fData.FindVarIndex("city", 0);
    fIncome = fData.FindVarIndex("income", 0);
    fAge = fData.FindVarIndex("age", 0);
    fSex = fData.FindVarIndex("sex", 0);
    ASSERT_EQ(fData.NumCases(), static_cast<size_t>(N_CASES));
    ASSERT_GE(fSex, 0);
    ASSERT_EQ(fData.GetVariable(fCity)->GetType(), 14) << "a string of two cells";

    // Matrix 1: (region, city), user-missing values excluded.
    fRegionCity = {fRegion, fCity};
    fMapRegionCity = std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(fData, fRegionCity), 1);
    const std::pair<std::pair<double, const char*>, double> regionCity[] = {
        {{1, "Springfield"}, 101},  {{2, "Shelbyville"}, 202}, {{1, "Shelbyville"}, 102},
        {{3, "Capital City"}, 303}, {{2, "Springfield"}, 201}, {{2, "Springfield MO"}, 209}};
    for (const auto& [key, value] : regionCity)
      fMapRegionCity->Insert(Join({NumCells(key.first), StrCells(key.second, 14)}).data())->num = value;

    // Matrix 2: (region, sex), user-missing values counted as data.
    fRegionSex = {fRegion, fSex};
    fMapRegionSex = std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(fData, fRegionSex), 1);
    const std::pair<std::pair<double, const char*>, double> regionSex[] = {
        {{1, "M"}, 1}, {{1, "F"}, 2}, {{2, "M"}, 3},  {{2, "F"}, 4},
        {{3, "M"}, 5}, {{3, "F"}, 6}, {{8, "M"}, 80}, {{9, "F"}, 90}};
    for (const auto& [key, value] : regionSex)
      fMapRegionSex->Insert(Join({NumCells(key.first), StrCells(key.second, 1)}).data())->num = value;

    // The record: region, city (user-missing valid), income, age, the two
    // matrices, the local case counter.
    EXPECT_EQ(fSpecs.AddVariable(fRegion, true), 0);
    EXPECT_EQ(fSpecs.AddVariable(fCity, true, true, false, true), 1);
    EXPECT_EQ(fSpecs.AddVariable(fIncome, false), 2);
    EXPECT_EQ(fSpecs.AddVariable(fAge, false), 3);
    EXPECT_EQ(fSpecs.AddMatrixSpec(&fRegionCity, fMapRegionCity.get(), nullptr, 1, true), 4);
    EXPECT_EQ(fSpecs.AddMatrixSpec(&fRegionSex, fMapRegionSex.get(), nullptr, 2, false), 5);
    EXPECT_EQ(fSpecs.SetCaseCount(), 6);
  }

  // Adapters made from the specification the way the input adapter makes
  // them: each takes the negation of its slot's exclusion flag.
  void MakeAdapters(ProcDSIterator& it) {
    for (int recInd : fSpecs.GetRecCatVars()) {
      const KVOVariableDesc* desc = fSpecs.GetRecVarDescPtr(recInd);
      fCat.push_back(
          std::make_unique<KVOCatVarAdapter>(fData, it, desc->GetVORMVarIndex(), !desc->GetExclUserMiss()));
    }
    for (int recInd : fSpecs.GetRecContVars()) {
      const KVOVariableDesc* desc = fSpecs.GetRecVarDescPtr(recInd);
      fCont.push_back(
          std::make_unique<KVOContVarAdapter>(it, desc->GetVORMVarIndex(), !desc->GetExclUserMiss()));
    }
    for (int m = 0; m < fSpecs.GetNMatrices(); ++m) {
      const KVOMatrixSpecs* spec = fSpecs.GetMatrixSpecsPtr(m);
      fMatrix.push_back(std::make_unique<KVOMatrixSpecAdapter>(it, spec, !spec->GetExclUserMiss()));
    }
  }

  void Rebind(ProcDSIterator& it) {
    for (size_t i = 0; i < fCat.size(); ++i) {
      const KVOVariableDesc* desc = fSpecs.GetRecVarDescPtr(fSpecs.GetRecCatVars()[i]);
      fCat[i]->SetCaseValueReader(it, !desc->GetExclUserMiss());
    }
    for (size_t i = 0; i < fCont.size(); ++i) {
      const KVOVariableDesc* desc = fSpecs.GetRecVarDescPtr(fSpecs.GetRecContVars()[i]);
      fCont[i]->SetCaseValueReader(it, !desc->GetExclUserMiss());
    }
    for (size_t m = 0; m < fMatrix.size(); ++m)
      fMatrix[m]->SetCaseValueReader(it, !fSpecs.GetMatrixSpecsPtr(static_cast<int>(m))->GetExclUserMiss());
  }

  // One record per case: collecting in the first pass, replaying later.
  std::vector<std::vector<double>> ReadPass(ProcDSIterator& it, bool firstPass) {
    std::vector<std::vector<double>> records;
    while (it.NextCase() != 0) {
      std::vector<double> record(static_cast<size_t>(fSpecs.GetNRecordVars()), 0.0);
      for (size_t i = 0; i < fCat.size(); ++i)
        record[static_cast<size_t>(fSpecs.GetRecCatVars()[i])] =
            firstPass ? fCat[i]->Encode() : fCat[i]->EncodeOldVars();
      for (size_t i = 0; i < fCont.size(); ++i)
        record[static_cast<size_t>(fSpecs.GetRecContVars()[i])] =
            firstPass ? fCont[i]->GetValue() : fCont[i]->GetOldValue();
      for (size_t m = 0; m < fMatrix.size(); ++m) {
        bool bad = false;
        const double value = fMatrix[m]->Recode(bad);
        EXPECT_EQ(bad, value == S);
        record[static_cast<size_t>(fSpecs.GetRecMatrixInd(static_cast<int>(m)))] = value;
      }
      record[static_cast<size_t>(fSpecs.GetCaseCountInd())] = static_cast<double>(records.size());
      records.push_back(record);
    }
    return records;
  }

  std::unique_ptr<standin::MemoryDataSource> fpData = LoadSurvey();
  standin::MemoryDataSource& fData = *fpData;
  int fRegion = -1, fCity = -1, fIncome = -1, fAge = -1, fSex = -1;
  std::vector<int> fRegionCity, fRegionSex;
  std::unique_ptr<ObsVecMap> fMapRegionCity, fMapRegionSex;
  KVOVarValidSpecs fSpecs;
  std::vector<std::unique_ptr<KVOCatVarAdapter>> fCat;
  std::vector<std::unique_ptr<KVOContVarAdapter>> fCont;
  std::vector<std::unique_ptr<KVOMatrixSpecAdapter>> fMatrix;
};

// Worked out from the rules: region codes in order of first appearance
// (1, 2, 3), its user-missing 8 and 9 and the system-missing value -1; city
// codes in order of first appearance, "UNKNOWN" included; income without its
// user-missing range 900 thru 999 (1000 lies outside); matrix 1 refuses the
// user-missing region and city values and the unknown combination
// (1, Springfield MA); matrix 2 looks the user-missing regions up.
const std::vector<std::vector<double>> EXPECTED = {
    // region city income age  m1   m2  count
    {0, 0, 520, 34, 101, 1, 0}, {1, 1, 610, 41, 202, 4, 1},  {0, 0, S, 29, 101, 2, 2},
    {-1, 2, 700, S, S, 80, 3},  {2, 3, S, 52, S, 5, 4},      {1, 0, 480, S, 201, 4, 5},
    {-1, 4, S, 60, S, S, 6},    {0, 1, S, 18, 102, 2, 7},    {-1, 3, 300, 45, S, 90, 8},
    {2, 2, 820, 38, 303, 6, 9}, {1, 5, 610, 27, 209, 3, 10}, {0, 6, 1000, 33, S, 2, 11},
};

TEST_F(SpecsIntegrationTest, RecordsMatchTheHandWorkedTable) {
  EXPECT_EQ(fSpecs.GetNRecordVars(), 7);
  EXPECT_EQ(fSpecs.GetRecCatVars(), (std::vector<int>{0, 1}));
  EXPECT_EQ(fSpecs.GetRecContVars(), (std::vector<int>{2, 3}));

  auto first = NewIterator(fData);
  MakeAdapters(*first);
  const std::vector<std::vector<double>> records = ReadPass(*first, true);
  ASSERT_EQ(records.size(), static_cast<size_t>(N_CASES));
  for (int k = 0; k < N_CASES; ++k) EXPECT_EQ(records[k], EXPECTED[k]) << "case " << k + 1;

  EXPECT_EQ(fCat[0]->GetSize(), 3);
  EXPECT_EQ(fCat[1]->GetSize(), 7);
  EXPECT_EQ(fCont[0]->GetMinValue(), 300.0);
  EXPECT_EQ(fCont[0]->GetMaxValue(), 1000.0);
  EXPECT_EQ(fCont[1]->GetMinValue(), 18.0);
  EXPECT_EQ(fCont[1]->GetMaxValue(), 60.0);

  // A second pass replays the same records and leaves categories and
  // ranges as they were.
  auto second = NewIterator(fData);
  Rebind(*second);
  const std::vector<std::vector<double>> replayed = ReadPass(*second, false);
  ASSERT_EQ(replayed.size(), static_cast<size_t>(N_CASES));
  for (int k = 0; k < N_CASES; ++k) EXPECT_EQ(replayed[k], EXPECTED[k]) << "case " << k + 1;
  EXPECT_EQ(fCat[1]->GetSize(), 7);
  EXPECT_EQ(fCont[0]->GetMaxValue(), 1000.0);

  // The one valid combination without a specification, case 12, as the
  // user reads it (region prints with its F4.0 format).
  standin::SetEchoMessages(false);
  standin::ClearMessages();
  auto third = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*third, N_CASES));
  const KVOInpAdaptMsg messages(fData);
  const KVOMatrixSpecs* spec = fSpecs.GetMatrixSpecsPtr(0);
  messages.MatrixSpecNotFound(spec->GetGroupIndex(), spec->GetMatrixVarListPtr(), *third);
  const std::vector<standin::HostMessage> log = standin::Messages();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].fText,
            "No specification for matrix in subcommand group 1 region = 1, city = Springfield MA...");
  standin::ClearMessages();
  standin::SetEchoMessages(true);
}

TEST_F(SpecsIntegrationTest, RenumberedCategoriesFollowTheSortedValues) {
  auto first = NewIterator(fData);
  MakeAdapters(*first);
  ReadPass(*first, true);

  // City in ascending byte order: blanks sort before letters, so
  // "Springfield" precedes "Springfield MA", which precedes "...MO".
  ASSERT_TRUE(fCat[1]->ReorderCategoryMap(fData, true));
  // Region descending: 3, 2, 1.
  ASSERT_TRUE(fCat[0]->ReorderCategoryMap(fData, false));
  const char* cities[] = {"Capital City",   "Ogdenville",     "Shelbyville", "Springfield",
                          "Springfield MA", "Springfield MO", "UNKNOWN"};
  for (int code = 0; code < 7; ++code) {
    std::string padded = cities[code];
    padded.resize(14, ' ');
    EXPECT_EQ(specs_test::Bytes(fCat[1]->Decode(code), 14), padded) << "code " << code;
  }

  auto second = NewIterator(fData);
  Rebind(*second);
  const std::vector<std::vector<double>> records = ReadPass(*second, false);
  const double regionCodes[] = {2, 1, 2, -1, 0, 1, -1, 2, -1, 0, 1, 2};
  const double cityCodes[] = {3, 2, 3, 0, 6, 3, 1, 2, 6, 0, 5, 4};
  ASSERT_EQ(records.size(), static_cast<size_t>(N_CASES));
  for (int k = 0; k < N_CASES; ++k) {
    EXPECT_EQ(records[k][0], regionCodes[k]) << "case " << k + 1;
    EXPECT_EQ(records[k][1], cityCodes[k]) << "case " << k + 1;
  }
}

}  // namespace
