#include <gtest/gtest.h>
#include <qor/VarList.h>

#include <nlohmann/json.hpp>

#include "standin/VarListJson.h"

namespace {

using QorXML::IQorVariable;
using QorXML::QorVarList;

// (What the list stores is read back by the metadata builder's tests.)
TEST(QorVarListTest, JsonRenderingShowsEachEntryByKind) {
  QorVarList list;
  list.AddCatVar("town", "Ort \xFF", std::vector<std::string>{"Z\xC3\xBCrich"}, {"ZH"},
                 IQorVariable::RoleInput);
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
