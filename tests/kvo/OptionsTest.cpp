// The command-line parser of kvo: defaults, comma lists, the checks that
// need no data, and the exit codes of help, version and bad usage.
#include <gtest/gtest.h>

#include "KvoError.h"
#include "Options.h"

namespace kvo {
namespace {

ParsedCommand Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

// A prepare command line that fails with exit code 2 and names `culprit`.
void ExpectUsageError(std::vector<std::string> args, const std::string& culprit) {
  args.insert(args.begin(), {"prepare", "d.csv", "--cont", "x"});
  ParsedCommand parsed = Parse(args);
  EXPECT_EQ(parsed.fKind, ParsedCommand::kError) << parsed.fText;
  EXPECT_EQ(parsed.fExitCode, 2);
  EXPECT_NE(parsed.fText.find(culprit), std::string::npos) << parsed.fText;
  EXPECT_EQ(parsed.fText.find('\n'), std::string::npos) << "one line: " << parsed.fText;
}

TEST(OptionsTest, PrepareDefaults) {
  ParsedCommand parsed = Parse({"prepare", "data/x.CSV", "--cat", "a"});
  ASSERT_EQ(parsed.fKind, ParsedCommand::kPrepare) << parsed.fText;
  const PrepareOptions& p = parsed.fPrepare;
  EXPECT_EQ(p.fLoad.fDataPath, "data/x.CSV");
  EXPECT_EQ(p.fLoad.fSchemaPath, "data/x.schema.json");
  EXPECT_FALSE(p.fLoad.fbSchemaGiven);
  EXPECT_EQ(p.fLoad.fDelimiter, ',');
  EXPECT_EQ(p.fLoad.fEncoding, "UTF-8");
  EXPECT_EQ(p.fUserMissing, UserMissing::Exclude);
  EXPECT_EQ(p.fMissing, MissingRule::Listwise);
  EXPECT_EQ(p.fWeightAdjust, WeightAdjust::Round);
  EXPECT_EQ(p.fSeed, 2000000u);
  EXPECT_FALSE(p.Partitioned());
  EXPECT_EQ(p.fFolds, 0);
  EXPECT_EQ(p.fTimeLimit, 0.0);
  EXPECT_EQ(p.fFormat, RecordFormat::Text);
  EXPECT_EQ(p.fOrder, CodeOrder::Appearance);
  EXPECT_EQ(p.fCodesFrom, "");
  EXPECT_FALSE(p.fbJson || p.fbQuiet || p.fbStrongListwise);
}

TEST(OptionsTest, NameListsKeepOrderAcrossRepeatsAndBlanksInsideNames) {
  ParsedCommand parsed =
      Parse({"prepare",     "d.csv", "--schema",      "s.json",    "--cat",    "b,a",        "--cont",
             "x",           "--cat", "c,,first name", "--sort-by", "x",        "--split-by", "c",
             "--delimiter", "tab",   "--matrix",      "a,b=m.csv", "--matrix", "c=n.csv"});
  ASSERT_EQ(parsed.fKind, ParsedCommand::kPrepare) << parsed.fText;
  const PrepareOptions& p = parsed.fPrepare;
  EXPECT_EQ(p.fvCat, (std::vector<std::string>{"b", "a", "c", "first name"}));
  EXPECT_EQ(p.fvCont, (std::vector<std::string>{"x"}));
  EXPECT_EQ(p.fvSortBy, (std::vector<std::string>{"x"}));
  EXPECT_EQ(p.fvSplitBy, (std::vector<std::string>{"c"}));
  ASSERT_EQ(p.fvMatrix.size(), 2u);
  EXPECT_EQ(p.fvMatrix[1].fText, "c=n.csv");
  EXPECT_EQ(p.fLoad.fSchemaPath, "s.json");
  EXPECT_TRUE(p.fLoad.fbSchemaGiven);
  EXPECT_EQ(p.fLoad.fDelimiter, '\t');
}

TEST(OptionsTest, PartitionChoices) {
  ParsedCommand random =
      Parse({"prepare",         "d.csv", "--cont",    "x",       "--partition",    "60, 30,10",
             "--seed",          "7",     "--folds",   "5",       "--depend",       "y",
             "--weight-adjust", "asis",  "--missing", "include", "--user-missing", "include",
             "--time-limit",    "2.5"});
  ASSERT_EQ(random.fKind, ParsedCommand::kPrepare) << random.fText;
  EXPECT_EQ(random.fPrepare.fvPartition, (std::vector<double>{60, 30, 10}));
  EXPECT_EQ(random.fPrepare.fSeed, 7u);
  EXPECT_EQ(random.fPrepare.fFolds, 5);
  EXPECT_EQ(random.fPrepare.fDepend, "y");
  EXPECT_EQ(random.fPrepare.fWeightAdjust, WeightAdjust::AsIs);
  EXPECT_EQ(random.fPrepare.fMissing, MissingRule::Include);
  EXPECT_EQ(random.fPrepare.fUserMissing, UserMissing::Include);
  EXPECT_EQ(random.fPrepare.fTimeLimit, 2.5);

  ParsedCommand byVariable =
      Parse({"prepare", "d.csv", "--cont", "x", "--partition-var", "part", "--parts", "3"});
  ASSERT_EQ(byVariable.fKind, ParsedCommand::kPrepare) << byVariable.fText;
  EXPECT_TRUE(byVariable.fPrepare.Partitioned());
  EXPECT_EQ(byVariable.fPrepare.fParts, 3);
  EXPECT_EQ(Parse({"prepare", "d.csv", "--cont", "x", "--partition-var", "part"}).fPrepare.fParts, 2);
  // Shares up to 100 in all, a test share of 0, and exactly 100.
  EXPECT_EQ(Parse({"prepare", "d.csv", "--cont", "x", "--partition", "100,0"}).fKind,
            ParsedCommand::kPrepare);
  EXPECT_EQ(Parse({"prepare", "d.csv", "--cont", "x", "--partition", "50,0,50"}).fKind,
            ParsedCommand::kPrepare);
}

TEST(OptionsTest, BadPercentagesAreUsageErrors) {
  ExpectUsageError({"--partition", "70"}, "--partition");
  ExpectUsageError({"--partition", "40,30,20,10"}, "2 or 3");
  ExpectUsageError({"--partition", "70,-30"}, "negative");
  ExpectUsageError({"--partition", "70,40"}, "more than 100");
  ExpectUsageError({"--partition", "0,50,50"}, "training");
  ExpectUsageError({"--partition", "70,abc"}, "'abc'");
  ExpectUsageError({"--partition", "70,,30"}, "empty share");
  ExpectUsageError({"--partition", "0.7,0.3"}, "shares are percentages, for example 70,30");
  ExpectUsageError({"--partition", "1,0"}, "shares are percentages, for example 70,30");
}

TEST(OptionsTest, CombinationsAndValuesThatCannotWork) {
  ExpectUsageError({"--partition", "70,30", "--partition-var", "p"}, "--partition-var");
  ExpectUsageError({"--parts", "3"}, "--parts");
  ExpectUsageError({"--partition-var", "p", "--parts", "4"}, "--parts");
  ExpectUsageError({"--folds", "5"}, "--folds");
  ExpectUsageError({"--partition", "70,30", "--folds", "1"}, "--folds");
  ExpectUsageError({"--depend", "y"}, "--depend");
  ExpectUsageError({"--seed", "-1"}, "--seed");
  ExpectUsageError({"--time-limit", "soon"}, "--time-limit");
  ExpectUsageError({"--weight-adjust", "ceil"}, "--weight-adjust");
  ExpectUsageError({"--missing", "pairwise"}, "--missing");
  ExpectUsageError({"--user-missing", "keep"}, "--user-missing");
  ExpectUsageError({"--delimiter", ";;"}, "--delimiter");
  ExpectUsageError({"--delimiter", "\""}, "--delimiter");
  ExpectUsageError({"--delimiter", ""}, "--delimiter");
  ExpectUsageError({"--encoding", "NO-SUCH-CODE-PAGE"}, "--encoding");
  ExpectUsageError({"--frobnicate"}, "--frobnicate");
  ExpectUsageError({"--weight", "a", "--weight", "b"}, "--weight");
  ExpectUsageError({"--format", "parquet"}, "'parquet' is not text, csv or npy");
  ExpectUsageError({"--order", "random"}, "'random' is not appearance, value or schema");
  ExpectUsageError({"--order", "value", "--codes-from", "s.json"}, "--order and --codes-from");
  EXPECT_EQ(Parse({"prepare", "d.csv"}).fExitCode, 2) << "an empty record";
}

TEST(OptionsTest, HelpVersionAndMissingCommand) {
  ParsedCommand help = Parse({"--help"});
  EXPECT_EQ(help.fKind, ParsedCommand::kHelp);
  EXPECT_EQ(help.fExitCode, 0);
  EXPECT_NE(help.fText.find("prepare"), std::string::npos);
  EXPECT_NE(help.fText.find("score"), std::string::npos);

  ParsedCommand prepareHelp = Parse({"prepare", "--help"});
  EXPECT_EQ(prepareHelp.fKind, ParsedCommand::kHelp);
  EXPECT_NE(prepareHelp.fText.find("--partition"), std::string::npos);
  EXPECT_NE(prepareHelp.fText.find("Exit codes"), std::string::npos);

  ParsedCommand version = Parse({"--version"});
  EXPECT_EQ(version.fKind, ParsedCommand::kHelp);
  EXPECT_EQ(version.fText, std::string(VersionText()) + "\n");

  ParsedCommand none = Parse({});
  EXPECT_EQ(none.fKind, ParsedCommand::kError);
  EXPECT_EQ(none.fExitCode, 2);
  ParsedCommand noData = Parse({"prepare"});
  EXPECT_EQ(noData.fExitCode, 2);
  EXPECT_NE(noData.fText.find("DATA"), std::string::npos) << noData.fText;
  ParsedCommand noModel = Parse({"score", "d.csv"});
  EXPECT_EQ(noModel.fExitCode, 2);
  EXPECT_NE(noModel.fText.find("--model"), std::string::npos) << noModel.fText;
}

TEST(OptionsTest, DescribeAndScore) {
  ParsedCommand describe = Parse({"describe", "d.csv", "--json", "--delimiter", ";"});
  ASSERT_EQ(describe.fKind, ParsedCommand::kDescribe) << describe.fText;
  EXPECT_TRUE(describe.fDescribe.fbJson);
  EXPECT_EQ(describe.fDescribe.fLoad.fDelimiter, ';');
  ParsedCommand score =
      Parse({"score", "d.csv", "--model", "m.xml", "--targets", "a,b", "--output", "o.csv"});
  ASSERT_EQ(score.fKind, ParsedCommand::kScore) << score.fText;
  EXPECT_EQ(score.fScore.fvTargets, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(score.fScore.fOutputPath, "o.csv");
  EXPECT_EQ(score.fScore.fModelPath, "m.xml");
}

TEST(OptionsTest, SplitListDropsEmptyItems) {
  EXPECT_EQ(SplitList("a,,b,"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitList(""), std::vector<std::string>{});
  EXPECT_EQ(SplitList(" x y "), std::vector<std::string>{" x y "});
  // A name in double quotes is taken whole; blanks around the quotes go.
  const std::pair<const char*, std::vector<std::string>> quoted[] = {
      {R"("a,b",c)", {"a,b", "c"}},
      {R"(c, "a,b" ,"")", {"c", "a,b"}},
      {R"("say ""hi""",x)", {"say \"hi\"", "x"}},
      // Not closed, or text after the closing quote: the items as written.
      {R"("a,b)", {"\"a", "b"}},
      {R"("a"b,c)", {"\"a\"b", "c"}},
      {R"(a"b",c)", {"a\"b\"", "c"}},
  };
  for (const auto& [text, items] : quoted) EXPECT_EQ(SplitList(text), items) << text;
}

}  // namespace
}  // namespace kvo
