#include <gtest/gtest.h>
#include <vorm/ProcOutput.h>

#include <cstring>
#include <memory>
#include <string>

#include "standin/HostControl.h"
#include "support/DataSourceBuilder.h"

namespace {

using kvotest::Num;
using kvotest::Str;

const char* const SPLIT_TEXT = "Split [%1 = %2:,^1 = ^2:]1 there are no valid cases...";

class ProcOutputTest : public testing::Test {
 protected:
  void SetUp() override {
    standin::ClearMessages();
    standin::ClearFrontOutput();
    standin::SetEchoMessages(false);
    standin::SetEchoFront(false);
  }
  void TearDown() override {
    standin::SetEchoMessages(true);
    standin::SetEchoFront(true);
    standin::ClearCurrentSplitGroup();
  }
};

OBS Number(double value) {
  OBS obs;
  obs.num = value;
  return obs;
}

TEST_F(ProcOutputTest, ShowsPlainItems) {
  EXPECT_EQ(BpString("There are no valid cases...", true).Text(), "There are no valid cases...");
  EXPECT_EQ(BpNumber(3, BpProcedure::Count()).Text(), "3");
  EXPECT_EQ(BpNumber(1234.5678, BpFormatSpec{2}).Text(), "1234.57");
  EXPECT_EQ(BpNumber(-0.0001, BpFormatSpec{2}).Text(), "0.00");
  EXPECT_EQ(BpNumber(-2.5, BpFormatSpec{1}).Text(), "-2.5");
  EXPECT_EQ(BpNumber(VORM_SYSMIS, BpFormatSpec{0}).Text(), ".");

  auto ds = kvotest::DataSourceBuilder()
                .Add(Num("x").Label("The x").ValueLabel(1, "one"))
                .Add(Num("y").Format(VORM_Format::F, 5, 0))
                .Add(Str("region", 8).ValueLabel("S", "South"))
                .Build();
  const VORM_Variable& x = *ds->GetVariable(0);
  const VORM_Variable& y = *ds->GetVariable(1);
  const VORM_Variable& region = *ds->GetVariable(2);
  EXPECT_EQ(BpVariable(x, BpVariable::ShowNameOrLabel).Text(), "x");
  EXPECT_EQ(BpVariable(x, BpVariable::ShowName).Text(), "x");
  EXPECT_EQ(BpVariable(x, BpVariable::ShowNameAndLabel).Text(), "x (The x)");
  EXPECT_EQ(BpVariable(y, BpVariable::ShowNameAndLabel).Text(), "y");

  OBS one = Number(1), two = Number(2);
  EXPECT_EQ(BpDataValue(x, &one, BpDataValue::PreferValueOrLabel).Text(), "one");
  EXPECT_EQ(BpDataValue(x, &one, BpDataValue::PreferValue).Text(), "1.00");  // default F8.2
  EXPECT_EQ(BpDataValue(x, &one, BpDataValue::PreferValueAndLabel).Text(), "1.00 (one)");
  EXPECT_EQ(BpDataValue(x, &two, BpDataValue::PreferValueOrLabel).Text(), "2.00");
  OBS big = Number(123456789);
  EXPECT_EQ(BpDataValue(y, &big, BpDataValue::PreferValue).Text(), "123456789");  // not cut to F5
  OBS missing = Number(VORM_SYSMIS);
  EXPECT_EQ(BpDataValue(y, &missing, BpDataValue::PreferValueOrLabel).Text(), ".");
  OBS north, south;
  std::memcpy(north.str, "  North ", 8);
  std::memcpy(south.str, "S       ", 8);
  EXPECT_EQ(BpDataValue(region, &north, BpDataValue::PreferValueOrLabel).Text(), "North");
  EXPECT_EQ(BpDataValue(region, &south, BpDataValue::PreferValueOrLabel).Text(), "South");
  EXPECT_EQ(BpDataValue(region, nullptr, BpDataValue::PreferValueOrLabel).Text(), "");
}

// (The matrix and split messages themselves are checked through the
// library's message class.)
TEST_F(ProcOutputTest, PairsListEntriesAndLeavesMissingItemsEmpty) {
  // An odd entry pairs with nothing; a missing item fills nothing.
  BpComposite odd("[%1=%2:;%1=%2:]1|%2|%7", true);
  odd.Sublist();
  odd.Add(BpString("a", true));
  odd.Add(BpString("1", true));
  odd.Add(BpString("b", true));
  odd.EndSublist();
  odd.Add(BpString("second", true));
  odd.Finish();
  EXPECT_EQ(odd.Text(), "a=1;b=|second|");
}

TEST_F(ProcOutputTest, KeepsTextThatIsNoPlaceholder) {
  BpComposite composite("100% [x] ^a [%1:%2]1 %%1", true);
  composite.Add(BpString("item", true));
  composite.Finish();
  // "[%1:%2]1" has one colon, so it is no list template and its "%1" is item 1.
  EXPECT_EQ(composite.Text(), "100% [x] ^a [item:]1 %item");
}

TEST_F(ProcOutputTest, FinishClosesSublistsAndFreezesTheText) {
  BpComposite composite("^1 / ^2", true);
  composite.Add(BpString("first", true));
  EXPECT_EQ(composite.Text(), "first / ");  // readable before Finish
  composite.Sublist();
  composite.Add(BpString("x", true));
  composite.Add(BpString("y", true));
  composite.Finish();  // the open sublist is closed
  EXPECT_EQ(composite.Text(), "first / x, y");
  testing::internal::CaptureStderr();
  composite.Add(BpString("late", true));
  composite.EndSublist();
  const std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_NE(warnings.find("after Finish"), std::string::npos);
  EXPECT_EQ(composite.Text(), "first / x, y");
}

TEST_F(ProcOutputTest, LogsAndEchoesMessages) {
  BpError(BpString("There are no valid cases...", true), BpShowFull, BpLevelError);
  BpComposite split(SPLIT_TEXT, true);
  split.Sublist();
  split.EndSublist();
  split.Finish();
  BpError(split, BpShowFull, BpLevelWarning);
  const std::vector<standin::HostMessage> messages = standin::Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].fShow, 2);
  EXPECT_EQ(messages[0].fLevel, 3);
  EXPECT_EQ(messages[0].fText, "There are no valid cases...");
  EXPECT_EQ(messages[1].fLevel, 2);
  EXPECT_EQ(messages[1].fText, "Split  there are no valid cases...");

  standin::SetEchoMessages(true);
  testing::internal::CaptureStderr();
  BpError(BpString("one", true), BpShowFull, BpLevelError);
  BpError(BpString("two", true), BpShowBrief, BpLevelWarning);
  BpError(BpString("three", true), BpShowFull, BpLevelNote);
  BpError(BpString("hidden", true), BpShowNone, BpLevelNote);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: one\nWarning: two\nNote: three\n");
  EXPECT_EQ(standin::Messages().size(), 6u);
  standin::ClearMessages();
  EXPECT_TRUE(standin::Messages().empty());
}

TEST_F(ProcOutputTest, WritesFrontOutputAfterLineEnds) {
  BP_ToFront(2, BP_Character("Time out termination ..."));
  BP_ToFront(-1, "!");
  EXPECT_EQ(standin::FrontOutput(), "\n\nTime out termination ...!");
  standin::SetEchoFront(true);
  testing::internal::CaptureStdout();
  BP_ToFront(1, "shown");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nshown");
  standin::ClearFrontOutput();
  EXPECT_EQ(standin::FrontOutput(), "");
}

}  // namespace
