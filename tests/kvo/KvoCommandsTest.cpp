// End-to-end runs of `kvo describe`, `kvo score` and the program's own
// options, on tests/data/kvo/people.csv (see KvoPrepareTest.cpp for its
// rows). Every run must leave its TMPDIR empty.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/KvoProcess.h"

namespace kvo_test {
namespace {

using nlohmann::json;

const std::string DATA = std::string(KVO_TEST_DATA_DIR) + "/kvo/";
const std::string PEOPLE = DATA + "people.csv";

class KvoCommandsTest : public ::testing::Test {
 protected:
  KvoResult Run(const std::vector<std::string>& args) {
    KvoResult result = RunKvo(fScratch, args);
    EXPECT_TRUE(result.fLeftInTmp.empty()) << "left in TMPDIR: " << Joined(result.fLeftInTmp);
    return result;
  }
  ScratchDirectory fScratch;
};

TEST_F(KvoCommandsTest, DescribeListsTheDictionary) {
  KvoResult result = Run({"describe", PEOPLE, "--json"});
  ASSERT_EQ(result.fExitCode, 0) << result.fErr;
  json dictionary = json::parse(result.fOut);
  EXPECT_EQ(dictionary["cases"], 10);
  ASSERT_EQ(dictionary["variables"].size(), 9u);
  EXPECT_EQ(dictionary["variables"][2], json::parse(R"({
      "index": 2, "name": "region", "label": "Region", "type": "string", "width": 5, "format": "A5",
      "measure": "nominal", "userMissing": {"values": [""]},
      "valueLabels": [{"value": "north", "label": "North"}, {"value": "south", "label": "South"},
                      {"value": "east", "label": "East"}, {"value": "west", "label": "West"}]})"));
  EXPECT_EQ(dictionary["variables"][3]["userMissing"], json::parse(R"({"values": [9.0]})"));
  EXPECT_EQ(dictionary["variables"][3]["format"], "F8.0");
  EXPECT_EQ(dictionary["variables"][5]["userMissing"], json::parse(R"({"range": [-99.0, -97.0]})"));
  EXPECT_EQ(dictionary["variables"][5]["format"], "F8.2");
  EXPECT_EQ(dictionary["variables"][4]["format"], "F4.0");
  EXPECT_EQ(dictionary["variables"][6]["measure"], "scale");

  KvoResult text = Run({"describe", PEOPLE});
  ASSERT_EQ(text.fExitCode, 0) << text.fErr;
  EXPECT_NE(text.fOut.find(PEOPLE + ": 10 cases, 9 variables\n"), std::string::npos) << text.fOut;
  EXPECT_NE(text.fOut.find("\n6  income   Income         numeric   F8.2    scale    -99 to -97\n"),
            std::string::npos)
      << text.fOut;
  EXPECT_NE(text.fOut.find("  group    1      A\n"), std::string::npos) << text.fOut;
}

// Model: ageNext = age + 1, high = income > 4000, north = region is north.
// Missing inputs give missing (empty) outputs: age of case 4, income of 7,
// and the user-missing income -99 of case 3 (KvoInputsTest has it with
// --user-missing include).
TEST_F(KvoCommandsTest, ScoreWritesOneRowPerCase) {
  KvoResult result = Run({"score", PEOPLE, "--model", DATA + "model.xml"});
  ASSERT_EQ(result.fExitCode, 0) << result.fErr;
  EXPECT_EQ(result.fOut,
            "case,ageNext,high,north\n"
            "1,31,0,1\n2,41,0,0\n3,51,,1\n4,,0,0\n5,26,0,0\n"
            "6,36,1,1\n7,46,,1\n8,56,1,0\n9,66,1,0\n10,21,1,0\n");

  const std::string output = fScratch / "scores.csv";
  KvoResult targets =
      Run({"score", PEOPLE, "--model", DATA + "model.xml", "--targets", "HIGH", "--output", output});
  ASSERT_EQ(targets.fExitCode, 0) << targets.fErr;
  EXPECT_EQ(targets.fOut, "");
  EXPECT_EQ(ReadFile(output), "case,HIGH\n1,0\n2,0\n3,\n4,0\n5,0\n6,1\n7,\n8,1\n9,1\n10,1\n");
}

TEST_F(KvoCommandsTest, ScoreRefusesModelsAndTargetsWithAReason) {
  const std::string output = fScratch / "never.csv";
  KvoResult bad = Run({"score", PEOPLE, "--model", DATA + "badmodel.xml", "--output", output});
  EXPECT_EQ(bad.fExitCode, 1);
  EXPECT_NE(bad.fErr.find("badmodel.xml: unknown function 'frobnicate'"), std::string::npos) << bad.fErr;
  EXPECT_NE(bad.fErr.find("line 8"), std::string::npos) << bad.fErr;
  EXPECT_FALSE(std::filesystem::exists(output));

  KvoResult foreign = Run({"score", PEOPLE, "--model", DATA + "foreignmodel.xml"});
  EXPECT_EQ(foreign.fExitCode, 1);
  EXPECT_NE(foreign.fErr.find("the model input 'height' is not a variable of " + PEOPLE), std::string::npos)
      << foreign.fErr;

  KvoResult target = Run({"score", PEOPLE, "--model", DATA + "model.xml", "--targets", "ageNext,wealth"});
  EXPECT_EQ(target.fExitCode, 2);
  EXPECT_NE(target.fErr.find(
                "--targets: 'wealth' is not an output of the model (its outputs: ageNext, high, north)"),
            std::string::npos)
      << target.fErr;

  KvoResult missing = Run({"score", PEOPLE, "--model", fScratch / "absent.xml"});
  EXPECT_EQ(missing.fExitCode, 1);
  EXPECT_NE(missing.fErr.find("absent.xml: cannot open the model"), std::string::npos) << missing.fErr;

  // The scores never overwrite what they are computed from.
  const std::string data = fScratch / "people.csv";
  std::filesystem::copy_file(PEOPLE, data);
  std::filesystem::copy_file(DATA + "people.schema.json", fScratch / "people.schema.json");
  KvoResult overwrite =
      Run({"score", data, "--model", DATA + "model.xml", "--output", fScratch / "./people.csv"});
  EXPECT_EQ(overwrite.fExitCode, 2);
  EXPECT_NE(overwrite.fErr.find("is also an input"), std::string::npos) << overwrite.fErr;
  EXPECT_EQ(ReadFile(data), ReadFile(PEOPLE));
  for (const KvoResult* result : {&bad, &foreign, &target, &missing, &overwrite}) {
    EXPECT_EQ(result->fOut, "");
    EXPECT_EQ(std::count(result->fErr.begin(), result->fErr.end(), '\n'), 1) << result->fErr;
  }
}

TEST_F(KvoCommandsTest, StandardOutputThatCannotBeWrittenIsExitCodeOne) {
  const std::vector<std::vector<std::string>> commands = {
      {"describe", PEOPLE},
      {"prepare", PEOPLE, "--cat", "region", "--json"},
      {"prepare", PEOPLE, "--cat", "region"},
      {"score", PEOPLE, "--model", DATA + "model.xml"},
  };
  for (const std::vector<std::string>& args : commands) {
    SCOPED_TRACE(Joined(args));
    KvoProcess process(fScratch, args);
    process.SetStdout("/dev/full");
    process.Start();
    const KvoResult result = process.Wait();
    EXPECT_EQ(result.fExitCode, 1) << result.fErr;
    EXPECT_NE(result.fErr.find("cannot write to standard output: No space left on device"), std::string::npos)
        << result.fErr;
  }
}

TEST_F(KvoCommandsTest, HelpVersionAndUsage) {
  KvoResult help = Run({"--help"});
  EXPECT_EQ(help.fExitCode, 0);
  EXPECT_NE(help.fOut.find("describe"), std::string::npos);
  KvoResult scoreHelp = Run({"score", "--help"});
  EXPECT_EQ(scoreHelp.fExitCode, 0);
  EXPECT_NE(scoreHelp.fOut.find("--targets"), std::string::npos);
  KvoResult version = Run({"--version"});
  EXPECT_EQ(version.fExitCode, 0);
  EXPECT_EQ(version.fOut.rfind("kvo ", 0), 0u) << version.fOut;
  KvoResult nothing = Run({});
  EXPECT_EQ(nothing.fExitCode, 2);
  EXPECT_NE(nothing.fErr.find("give a command"), std::string::npos);
  KvoResult unknown = Run({"train", PEOPLE});
  EXPECT_EQ(unknown.fExitCode, 2);
  EXPECT_NE(unknown.fErr.find("train"), std::string::npos) << unknown.fErr;
}

}  // namespace
}  // namespace kvo_test
