#include <gtest/gtest.h>
#include <qor/VarList.h>

#include <nlohmann/json.hpp>

#include "standin/VarListJson.h"

namespace {

using QorXML::IQorVariable;
using QorXML::QorVarList;

TEST(QorVarListTest, ReadsBackEverythingItWasGiven) {
  QorVarList list;
  EXPECT_EQ(list.AddCatVar("sex", "Sex", 2, IQorVariable::MeasureNominalNumeric, IQorVariable::RoleInput), 0);
  EXPECT_EQ(list.AddCatVar("grade", "", std::vector<double>{1, 2}, {"low", ""}, IQorVariable::RoleTarget), 1);
  EXPECT_EQ(list.AddCatVar("town", "Town", std::vector<std::string>{"Bern", "Genf"}, {"", "Geneva"},
                           IQorVariable::RoleBoth),
            2);
  EXPECT_EQ(list.AddContVar("age", "Age", 18, 99, IQorVariable::RoleInput, true, 7), 3);
  EXPECT_EQ(list.SetWeightVar("w", "Weight", IQorVariable::WRoundNearest), 4);
  ASSERT_EQ(list.Size(), 5);

  const QorVarList::Entry* sex = list.GetEntry(0);
  ASSERT_NE(sex, nullptr);
  EXPECT_EQ(sex->fKind, QorVarList::Entry::Categorical);
  EXPECT_EQ(sex->fCategoryCount, 2);
  EXPECT_EQ(sex->fMeasureLevel, IQorVariable::MeasureNominalNumeric);
  EXPECT_EQ(sex->fLabel, "Sex");

  const QorVarList::Entry* grade = list.GetEntry(1);
  EXPECT_EQ(grade->fNumericValues, (std::vector<double>{1, 2}));
  EXPECT_EQ(grade->fValueLabels, (std::vector<std::string>{"low", ""}));
  EXPECT_EQ(grade->fRole, IQorVariable::RoleTarget);

  const QorVarList::Entry* town = list.GetEntry(2);
  EXPECT_EQ(town->fStringValues, (std::vector<std::string>{"Bern", "Genf"}));
  EXPECT_EQ(town->fCategoryCount, 2);

  const QorVarList::Entry* age = list.GetEntry(3);
  EXPECT_EQ(age->fKind, QorVarList::Entry::Continuous);
  EXPECT_EQ(age->fMin, 18);
  EXPECT_EQ(age->fMax, 99);
  EXPECT_TRUE(age->fContFlag);
  EXPECT_EQ(age->fContNumber, 7);

  const QorVarList::Entry* weight = list.GetEntry(4);
  EXPECT_EQ(weight->fKind, QorVarList::Entry::Weight);
  EXPECT_EQ(weight->fRounding, IQorVariable::WRoundNearest);

  // The variable and encoder faces write through to the entry.
  IQorVariable* var = list.GetVarAt(2);
  ASSERT_NE(var, nullptr);
  std::string name;
  var->GetName(name);
  EXPECT_EQ(name, "town");
  EXPECT_EQ(var->GetValueType(), IQorVariable::VALUE_NUMERIC);
  var->SetValueType(IQorVariable::VALUE_STRING);
  EXPECT_EQ(list.GetEntry(2)->fValueType, IQorVariable::VALUE_STRING);

  list.GetEncoderAt(2)->AddMissingValue(std::string("??"), "unknown");
  list.GetEncoderAt(3)->AddMissingValue(-1.0, "");
  list.GetEncoderAt(3)->SetMissingRange(100, 200);
  EXPECT_EQ(list.GetEntry(2)->fMissingStrings,
            (std::vector<std::pair<std::string, std::string>>{{"??", "unknown"}}));
  EXPECT_EQ(list.GetEntry(3)->fMissingNumbers, (std::vector<std::pair<double, std::string>>{{-1.0, ""}}));
  EXPECT_TRUE(list.GetEntry(3)->fHasMissingRange);
  EXPECT_EQ(list.GetEntry(3)->fMissingLow, 100);
  EXPECT_EQ(list.GetEntry(3)->fMissingHigh, 200);

  for (int bad : {-1, 5}) {
    EXPECT_EQ(list.GetVarAt(bad), nullptr);
    EXPECT_EQ(list.GetEncoderAt(bad), nullptr);
    EXPECT_EQ(list.GetEntry(bad), nullptr);
  }
}

TEST(QorVarListTest, RefusesASecondWeightAndEveryWeightWhenToldTo) {
  QorVarList list;
  list.SetRefuseWeight(true);
  EXPECT_LT(list.SetWeightVar("w", "", IQorVariable::WRoundNone), 0);
  EXPECT_EQ(list.Size(), 0);
  list.SetRefuseWeight(false);
  EXPECT_EQ(list.SetWeightVar("w", "", IQorVariable::WRoundNone), 0);
  EXPECT_LT(list.SetWeightVar("w2", "", IQorVariable::WRoundNone), 0);
  EXPECT_EQ(list.Size(), 1);
}

TEST(QorVarListTest, JsonRenderingShowsEachEntryByKind) {
  QorVarList list;
  list.AddCatVar("town", "Ort \xFF", std::vector<std::string>{"Z\xC3\xBCrich"}, {"ZH"}, IQorVariable::RoleInput);
  list.AddContVar("age", "", 1, 2, IQorVariable::RoleInput, false, -1);
  list.GetEncoderAt(1)->SetMissingRange(-9, -1);
  list.SetWeightVar("w", "", IQorVariable::WRoundTruncate);

  nlohmann::json doc = nlohmann::json::parse(standin::VarListToJson(list));
  const auto& vars = doc.at("variables");
  ASSERT_EQ(vars.size(), 3u);
  EXPECT_EQ(vars[0]["kind"], "categorical");
  EXPECT_EQ(vars[0]["values"][0], "Z\xC3\xBCrich");
  EXPECT_EQ(vars[0]["valueLabels"][0], "ZH");
  EXPECT_EQ(vars[0]["label"], "Ort \xEF\xBF\xBD");  // the bad byte becomes U+FFFD
  EXPECT_EQ(vars[1]["kind"], "continuous");
  EXPECT_EQ(vars[1]["min"], 1.0);
  EXPECT_EQ(vars[1]["contNumber"], -1);
  EXPECT_EQ(vars[1]["missing"]["range"]["low"], -9.0);
  EXPECT_FALSE(vars[0].contains("missing"));
  EXPECT_EQ(vars[2]["kind"], "weight");
  EXPECT_EQ(vars[2]["rounding"], IQorVariable::WRoundTruncate);
  // One line on request.
  EXPECT_EQ(standin::VarListToJson(list, -1).find('\n'), std::string::npos);
}

}  // namespace
