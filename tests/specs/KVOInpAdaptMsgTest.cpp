#include <gtest/gtest.h>

#include <vector>

#include "SpecsTestSupport.h"
#include "kvoadapter/KVOInpAdaptMsg.h"

namespace {

using specs_test::NewIterator;

// Messages reach the user through the host's procedure output; the test
// reads them back from the stand-in's message log.
class KVOInpAdaptMsgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::SetEchoMessages(false);
    standin::ClearMessages();
    fA = fData.AddNumeric("a", standin::Measure::Nominal);
    fS = fData.AddString("s", 12);
    fC = fData.AddString("c", 3);
    // A variable label and a value label: the messages show variables by
    // name and values by their label when they have one.
    fData.Spec(fA).fFormat = VORM_Format(VORM_Format::F, 8, 0);
    fData.Spec(fA).fLabel = "Area code";
    fData.Spec(fC).fStringLabels = {{"xyz", "Ex Why Zed"}};
    standin::ClearCurrentSplitGroup();
    fData.AddCase();
    fData.SetNumber(fA, 1);
    fData.SetString(fS, "north-east");
    fData.SetString(fC, "ab");
    fData.AddCase();
    fData.SetNumber(fA, 27);
    fData.SetString(fS, "south");
    fData.SetString(fC, "xyz");
  }
  void TearDown() override {
    standin::ClearCurrentSplitGroup();
    standin::ClearMessages();
    standin::SetEchoMessages(true);
  }

  standin::MemoryDataSource fData;
  int fA = -1, fS = -1, fC = -1;
};

TEST_F(KVOInpAdaptMsgTest, MissingMatrixSpecificationNamesGroupAndEveryValue) {
  const KVOInpAdaptMsg messages(fData);
  auto it = NewIterator(fData);
  ASSERT_NE(it->NextCase(), 0);
  const std::vector<int> vars{fA, fS, fC};
  messages.MatrixSpecNotFound(4, &vars, *it);
  ASSERT_NE(it->NextCase(), 0);
  const std::vector<int> reversed{fC, fA};
  messages.MatrixSpecNotFound(12, &reversed, *it);
  const std::vector<int> none;
  messages.MatrixSpecNotFound(3, &none, *it);
  messages.MatrixSpecNotFound(5, nullptr, *it);

  const std::vector<standin::HostMessage> log = standin::Messages();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].fText,
            "No specification for matrix in subcommand group 4 a = 1, s = north-east, c = ab...");
  EXPECT_EQ(log[1].fText, "No specification for matrix in subcommand group 12 c = Ex Why Zed, a = 27...");
  EXPECT_EQ(log[2].fText, "No specification for matrix in subcommand group 3 ...");
  EXPECT_EQ(log[3].fText, "No specification for matrix in subcommand group 5 ...");
  for (const standin::HostMessage& message : log) {
    EXPECT_EQ(message.fShow, 2);
    EXPECT_EQ(message.fLevel, 3);
  }
}

TEST_F(KVOInpAdaptMsgTest, NoValidCasesMessages) {
  const KVOInpAdaptMsg messages(fData);
  messages.NoValidCases();
  messages.NoValidCasesForSelect();
  const std::vector<standin::HostMessage> log = standin::Messages();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].fText, "There are no valid cases...");
  EXPECT_EQ(log[1].fText, "There are no valid cases for selection...");
  for (const standin::HostMessage& message : log) {
    EXPECT_EQ(message.fShow, 2);
    EXPECT_EQ(message.fLevel, 3);
  }
}

TEST_F(KVOInpAdaptMsgTest, SplitMessageListsTheCurrentGroupAtLevelTwo) {
  ASSERT_TRUE(fData.SetSplitVariables({fA, fC}));
  auto it = NewIterator(fData);
  const KVOInpAdaptMsg messages(fData);
  ASSERT_NE(it->NextCase(), 0);
  messages.NoValidCasesSplit();
  ASSERT_NE(it->NextCase(), 0);  // the group-end mark
  ASSERT_TRUE(it->SplitGroupEnd());
  ASSERT_NE(it->NextCase(), 0);  // the second group's first case
  messages.NoValidCasesSplit();

  // Later pairs follow the template's ",^1 = ^2", without a blank.
  const std::vector<standin::HostMessage> log = standin::Messages();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].fText, "Split a = 1,c = ab there are no valid cases...");
  EXPECT_EQ(log[1].fText, "Split a = 27,c = Ex Why Zed there are no valid cases...");
  for (const standin::HostMessage& message : log) {
    EXPECT_EQ(message.fShow, 2);
    EXPECT_EQ(message.fLevel, 2);
  }
}

}  // namespace
