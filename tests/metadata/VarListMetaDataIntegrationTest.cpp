// The metadata builder after a real first pass: a survey loaded from a
// Windows-1252 CSV file and its schema into a host whose encoding is
// Windows-1252, read through the data-pass iterator, then described to a
// component's list. Every expected text below is the UTF-8 form of what the
// schema and the data file say; the categories follow the order in which the
// data first show each valid value.
#include <gtest/gtest.h>
#include <kvoadapter/KVOVarListMetaData.h>
#include <standin/CsvLoader.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MetaDataTestSupport.h"

namespace {

using QorXML::IQorVariable;
using QorXML::QorVarList;
using Entry = QorVarList::Entry;
using NumberPairs = std::vector<std::pair<double, std::string>>;
using StringPairs = std::vector<std::pair<std::string, std::string>>;

const std::string DATA_DIR = std::string(KVO_TEST_DATA_DIR) + "/metadata/";

class VarListMetaDataIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::CsvOptions options;
    options.fEncoding = "CP1252";
    std::string error;
    fpData = standin::LoadCsvDataSource(DATA_DIR + "enquete.csv", DATA_DIR + "enquete.schema.json", options,
                                        error);
    ASSERT_NE(fpData, nullptr) << error;
    // The host holds the names, labels and values as Windows-1252 bytes.
    fNr = fpData->FindVarIndex("nr", 0);
    fRegion = fpData->FindVarIndex("r\xE9gion", 0);
    fQuality = fpData->FindVarIndex("qualit\xE9", 0);
    fAge = fpData->FindVarIndex("\xE2ge", 0);
    fSpending = fpData->FindVarIndex("d\xE9pense", 0);
    fWeight = fpData->FindVarIndex("poids", 0);
    ASSERT_TRUE(fNr >= 0 && fRegion >= 0 && fQuality >= 0 && fAge >= 0 && fSpending >= 0 && fWeight >= 0);
    ASSERT_STREQ(fpData->GetVariable(fSpending)->GetLabel(), "D\xE9pense en \x80");
    ASSERT_TRUE(fpData->SetWeightVariable(fWeight));
    fpData->SetWeightFilter(false);
  }

  kvotest::QuietHost fQuiet{"CP1252"};
  std::unique_ptr<standin::MemoryDataSource> fpData;
  int fNr = -1, fRegion = -1, fQuality = -1, fAge = -1, fSpending = -1, fWeight = -1;
};

TEST_F(VarListMetaDataIntegrationTest, DescribesTheSurveyInUtf8AfterTheFirstPass) {
  // Record layout: quality, region (categorical), age, spending, nr
  // (continuous), weight.
  KVOVarValidSpecs specs;
  const std::vector<int> hosts{fQuality, fRegion, fAge, fSpending, fNr};
  const std::vector<bool> categorical{true, true, false, false, false};
  std::vector<int> records;
  specs.AddVariables(hosts, records, categorical);
  ASSERT_EQ(records, (std::vector<int>{0, 1, 2, 3, 4}));
  ASSERT_EQ(specs.SetWeightVar(), 5);
  KVOInputAdapter adapter(&specs, *fpData);
  ASSERT_EQ(metadata_test::ReadFirstPass(adapter), 7);

  QorVarList list;
  KVOVarListMetaData builder(list, &specs, *fpData, &adapter, true);
  EXPECT_EQ(builder.AddVariableList(&hosts, categorical, IQorVariable::RoleInput), 5);
  // A name given in the host encoding replaces the weight's own.
  EXPECT_TRUE(
      builder.AddRecWeightVar(5, IQorVariable::RoleFrequency, IQorVariable::WRoundNearest, "pond\xE9ration"));
  ASSERT_EQ(list.Size(), 6);

  // Quality: 2, 1, 3, then 4 (9 and 8 are user-missing); 4 has no label.
  const Entry& quality = *list.GetEntry(0);
  EXPECT_EQ(quality.fName, "qualité");
  EXPECT_EQ(quality.fLabel, "Qualité perçue – note");
  EXPECT_EQ(quality.fMeasureLevel, IQorVariable::MeasureNominalNumeric);
  EXPECT_EQ(quality.fNumericValues, (std::vector<double>{2, 1, 3, 4}));
  EXPECT_EQ(quality.fValueLabels, (std::vector<std::string>{"bonne", "très bonne", "médiocre", ""}));
  EXPECT_EQ(quality.fMissingNumbers, (NumberPairs{{8, ""}, {9, "ne sait pas"}}));
  EXPECT_FALSE(quality.fHasMissingRange);

  // Region: Genève, Zürich, Bâle ("inconnu" and "?" are user-missing, and
  // the blank that empty cells hold).
  const Entry& region = *list.GetEntry(1);
  EXPECT_EQ(region.fName, "région");
  EXPECT_EQ(region.fLabel, "Région d'habitation");
  EXPECT_EQ(region.fMeasureLevel, IQorVariable::MeasureNominalString);
  EXPECT_EQ(region.fValueType, IQorVariable::VALUE_STRING);
  EXPECT_EQ(region.fStringValues, (std::vector<std::string>{"Genève", "Zürich", "Bâle"}));
  EXPECT_EQ(region.fValueLabels, (std::vector<std::string>{"Genève (GE)", "Zürich (ZH)", ""}));
  EXPECT_EQ(region.fMissingStrings, (StringPairs{{"inconnu", "Région inconnue"}, {"?", ""}, {"", ""}}));

  // Age: valid values 34, 51, 27, 62, 45 (999 and -3 are user-missing); the
  // discrete missing value with its label, and the range without one.
  const Entry& age = *list.GetEntry(2);
  EXPECT_EQ(age.fName, "âge");
  EXPECT_EQ(age.fLabel, "Âge en années");
  EXPECT_EQ(age.fKind, Entry::Continuous);
  EXPECT_EQ(age.fMin, 27.0);
  EXPECT_EQ(age.fMax, 62.0);
  EXPECT_EQ(age.fMissingNumbers, (NumberPairs{{999, "refusé"}}));
  EXPECT_TRUE(age.fHasMissingRange);
  EXPECT_EQ(age.fMissingLow, -9.0);
  EXPECT_EQ(age.fMissingHigh, -1.0);

  // Spending: valid values 120.5, 80, 15.25, 300 (-5 and -99 lie in the
  // missing range, one is empty); only the range is missing.
  const Entry& spending = *list.GetEntry(3);
  EXPECT_EQ(spending.fName, "dépense");
  EXPECT_EQ(spending.fLabel, "Dépense en €");
  EXPECT_EQ(spending.fMin, 15.25);
  EXPECT_EQ(spending.fMax, 300.0);
  EXPECT_TRUE(spending.fMissingNumbers.empty());
  EXPECT_TRUE(spending.fHasMissingRange);
  EXPECT_EQ(spending.fMissingLow, -99.0);
  EXPECT_EQ(spending.fMissingHigh, -1.0);

  const Entry& nr = *list.GetEntry(4);
  EXPECT_EQ(nr.fName, "nr");
  EXPECT_EQ(nr.fLabel, "Laufnummer");
  EXPECT_EQ(nr.fMin, 1.0);
  EXPECT_EQ(nr.fMax, 7.0);
  EXPECT_TRUE(nr.fMissingNumbers.empty());
  EXPECT_FALSE(nr.fHasMissingRange);

  const Entry& weight = *list.GetEntry(5);
  EXPECT_EQ(weight.fKind, Entry::Weight);
  EXPECT_EQ(weight.fName, "pondération");
  EXPECT_EQ(weight.fLabel, "Poids de l'échantillon");
  EXPECT_EQ(weight.fRounding, IQorVariable::WRoundNearest);
  EXPECT_EQ(weight.fMissingNumbers, (NumberPairs{{0, "aucun poids"}}));

  EXPECT_EQ(metadata_test::AllAsserts(), std::vector<std::string>{});
}

}  // namespace
