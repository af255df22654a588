// End-to-end runs of `kvo prepare` on tests/data/kvo/people.csv, one test
// per option family. Expected values are worked out by hand from the rules
// (see the comments); every run must leave its TMPDIR empty.
//
// people.csv (id = case number):
//   id country region group age income w    part y
//    1    1    north   1    30   1000  1     1   0
//    2    1    south   2    40   2000  2     1   1
//    3    1    north   9    50    -99  1     0   0   group 9 and income -99 are user-missing
//    4    1    west    1     .   3000  0     1   1
//    5    1    south   2    25   4000  1.4   1   .
//    6    2    north   1    35   5000  1     1   1
//    7    2    north   2    45      .  2.6   0   0
//    8    2    south   1    55   6000  1     1   0
//    9    2    east    2    65   7000  .     0   1
//   10    2    south   1    20   8000  0.4  -1   0
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/KvoProcess.h"

namespace kvo_test {
namespace {

using nlohmann::json;

const std::string DATA = std::string(KVO_TEST_DATA_DIR) + "/kvo/";
const std::string PEOPLE = DATA + "people.csv";

class KvoPrepareTest : public ::testing::Test {
 protected:
  // Runs kvo prepare on people.csv with `args`; expects a clean TMPDIR.
  KvoResult Prepare(std::vector<std::string> args, const std::string& data = PEOPLE) {
    args.insert(args.begin(), {"prepare", data, "--quiet"});
    KvoResult result = RunKvo(fScratch, args);
    EXPECT_TRUE(result.fLeftInTmp.empty()) << "left in TMPDIR: " << Joined(result.fLeftInTmp);
    return result;
  }
  // The same with --json, expecting success and `err` on stderr; returns
  // the summary.
  json PrepareJson(std::vector<std::string> args, const std::string& err = "") {
    args.push_back("--json");
    KvoResult result = Prepare(args);
    EXPECT_EQ(result.fExitCode, 0) << result.fErr;
    EXPECT_EQ(result.fErr, err);
    return json::parse(result.fOut.empty() ? "null" : result.fOut);
  }
  std::string Out(const std::string& name) const { return fScratch / name; }

  // The i-th column of each line of a records text file.
  static std::vector<std::string> Column(const std::string& text, size_t column) {
    std::vector<std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      std::istringstream fields(line);
      std::string field;
      for (size_t i = 0; i <= column && fields >> field; ++i) {
      }
      values.push_back(field);
    }
    return values;
  }

  ScratchDirectory fScratch;
};

// The code, value and label of each category of a summary's list.
json Coded(const json& categories) {
  json out = json::array();
  for (const json& c : categories)
    out.push_back({{"code", c["code"]}, {"value", c["value"]}, {"label", c["label"]}});
  return out;
}

json Categories(std::vector<std::tuple<int, std::string, std::string>> list) {
  json out = json::array();
  for (auto& [code, value, label] : list) out.push_back({{"code", code}, {"value", value}, {"label", label}});
  return out;
}

// Listwise deletion is soft: case 4 (west, age missing) is rejected after
// its region was encoded, so west keeps code 2 and east (case 9) gets 3.
// Cases 3 (group 9 and income -99 user-missing), 4 (age) and 7 (income) are
// rejected; the ranges include the valid values of rejected cases (age 50
// and 45, income 3000), which the adapters read before the case failed.
TEST_F(KvoPrepareTest, PlainRunEncodesDeletesListwiseAndWritesTheRecords) {
  const std::string out = Out("plain");
  json summary = PrepareJson({"--cat", "region,group", "--cont", "AGE,income", "--out", out});
  ASSERT_TRUE(summary.is_object());
  EXPECT_EQ(summary["cases"], 10);
  EXPECT_EQ(summary["record"], json::parse(R"([
      {"slot": 0, "name": "region", "kind": "categorical"}, {"slot": 1, "name": "group", "kind": "categorical"},
      {"slot": 2, "name": "age", "kind": "continuous"}, {"slot": 3, "name": "income", "kind": "continuous"},
      {"slot": 4, "name": "Local Case Count", "kind": "counter"},
      {"slot": 5, "name": "Global Case Count", "kind": "counter"}])"));
  ASSERT_EQ(summary["splits"].size(), 1u);
  const json& split = summary["splits"][0];
  EXPECT_EQ(split["values"], json::array());
  EXPECT_EQ(split["cases"], 10);
  EXPECT_EQ(split["valid"], 7);
  EXPECT_EQ(split["invalid"], 3);
  EXPECT_EQ(split["weighted"], json::parse(R"({"cases": 10.0, "valid": 7.0, "invalid": 3.0})"));
  EXPECT_EQ(split["excluded"], 0);
  EXPECT_EQ(
      Coded(split["variables"][0]["categories"]),
      Categories({{0, "north", "North"}, {1, "south", "South"}, {2, "west", "West"}, {3, "east", "East"}}));
  EXPECT_EQ(Coded(split["variables"][1]["categories"]), Categories({{0, "1", "A"}, {1, "2", "B"}}));
  EXPECT_EQ(split["variables"][2]["min"], 20.0);
  EXPECT_EQ(split["variables"][2]["max"], 65.0);
  EXPECT_EQ(split["variables"][3]["min"], 1000.0);
  EXPECT_EQ(split["variables"][3]["max"], 8000.0);

  // Records of cases 1, 2, 5, 6, 8, 9, 10: ages 30 40 25 35 55 65 20 (sum
  // 270, squares 12000), incomes 1000 2000 4000 5000 6000 7000 8000 (33000,
  // 195e6), local counters 0 1 4 5 7 8 9 (34, 236), case numbers 1 2 5 6 8 9
  // 10 (41, 311).
  ASSERT_EQ(split["partitions"].size(), 1u);
  const json& records = split["partitions"][0];
  EXPECT_EQ(records["name"], "records");
  EXPECT_EQ(records["records"], 7);
  EXPECT_EQ(records["file"], "all/records.txt");
  EXPECT_EQ(records["min"], (json{nullptr, nullptr, 20.0, 1000.0, 0.0, 1.0}));
  EXPECT_EQ(records["max"], (json{nullptr, nullptr, 65.0, 8000.0, 9.0, 10.0}));
  EXPECT_EQ(records["mean"], (json{nullptr, nullptr, 270.0 / 7, 33000.0 / 7, 34.0 / 7, 41.0 / 7}));
  EXPECT_EQ(records["meanSquare"], (json{nullptr, nullptr, 12000.0 / 7, 195e6 / 7, 236.0 / 7, 311.0 / 7}));

  // The file holds the same records; case 9 shows east's code 3 and both counters.
  const std::string file = ReadFile(out + "/all/records.txt");
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 7);
  EXPECT_NE(file.find("\n  3.000000  1.000000  65.000000  7000.000000  8.000000  9.000000\n"),
            std::string::npos)
      << file;
  EXPECT_EQ(json::parse(ReadFile(out + "/summary.json")), summary);
}

// Weight filter: case 4 (weight 0) and case 9 (no weight) are not read.
// Country 1: cases 1 2 3 5 with weights 1 2 1 1.4; country 2: cases 6 7 8 10
// with weights 1 2.6 1 0.4. Each group has its own categories and counters.
TEST_F(KvoPrepareTest, WeightsAndSplitGroups) {
  const std::string out = Out("split");
  json summary = PrepareJson(
      {"--cat", "region", "--cont", "age", "--weight", "w", "--split-by", "country", "--out", out});
  EXPECT_EQ(summary["record"][2], json::parse(R"({"slot": 2, "name": "w", "kind": "weight"})"));
  ASSERT_EQ(summary["splits"].size(), 2u);
  const json& one = summary["splits"][0];
  const json& two = summary["splits"][1];
  EXPECT_EQ(one["values"], json::parse(R"([{"name": "country", "value": "1", "label": "One"}])"));
  EXPECT_EQ(two["values"], json::parse(R"([{"name": "country", "value": "2", "label": "Two"}])"));
  // Rounded weights 1 2 1 1 (1.4 rounds to 1): all valid.
  EXPECT_EQ(one["cases"], 4);
  EXPECT_EQ(one["valid"], 4);
  EXPECT_EQ(one["weighted"], json::parse(R"({"cases": 5.0, "valid": 5.0, "invalid": 0.0})"));
  EXPECT_EQ(Coded(one["variables"][0]["categories"]),
            Categories({{0, "north", "North"}, {1, "south", "South"}}));
  EXPECT_EQ(one["variables"][1]["min"], 25.0);
  EXPECT_EQ(one["variables"][1]["max"], 50.0);
  // 2.6 rounds to 3; 0.4 rounds below 0.5: case 10 is rejected with weight
  // 0 before any of its values is read (age 20 stays out of the range).
  EXPECT_EQ(two["cases"], 4);
  EXPECT_EQ(two["valid"], 3);
  EXPECT_EQ(two["invalid"], 1);
  EXPECT_EQ(two["weighted"], json::parse(R"({"cases": 5.0, "valid": 5.0, "invalid": 0.0})"));
  EXPECT_EQ(Coded(two["variables"][0]["categories"]),
            Categories({{0, "north", "North"}, {1, "south", "South"}}));
  EXPECT_EQ(two["variables"][1]["min"], 35.0);
  EXPECT_EQ(two["variables"][1]["max"], 55.0);
  EXPECT_EQ(two["partitions"][0]["file"], "split-2/records.txt");
  EXPECT_EQ(two["partitions"][0]["mean"], (json{nullptr, 135.0 / 3, 5.0 / 3, 1.0, 7.0}));
  // Local counters restart per group; the global counter is the case number.
  EXPECT_EQ(ReadFile(out + "/split-2/records.txt"),
            "  0.000000  35.000000  1.000000  0.000000  6.000000\n"
            "  0.000000  45.000000  3.000000  1.000000  7.000000\n"
            "  1.000000  55.000000  1.000000  2.000000  8.000000\n");

  // Truncated: 1.4 -> 1, 2.6 -> 2, 0.4 rejected. As is: every weight kept.
  json truncated = PrepareJson({"--cont", "age", "--weight", "w", "--weight-adjust", "truncate"});
  EXPECT_EQ(truncated["splits"][0]["valid"], 7);
  EXPECT_EQ(truncated["splits"][0]["weighted"],
            json::parse(R"({"cases": 9.0, "valid": 9.0, "invalid": 0.0})"));
  json asIs = PrepareJson({"--cont", "age", "--weight", "w", "--weight-adjust", "asis"});
  EXPECT_EQ(asIs["splits"][0]["valid"], 8);
  EXPECT_EQ(asIs["splits"][0]["weighted"]["valid"], 1 + 2 + 1 + 1.4 + 1 + 2.6 + 1 + 0.4);
}

TEST_F(KvoPrepareTest, MissingValueRules) {
  // Included missing values: group 9 (user-missing) becomes code -1, income
  // -99 and the empty income stay system-missing; all 10 cases are valid and
  // the mean divides the 8 valid incomes' sum by 10 records.
  json included =
      PrepareJson({"--cat", "group", "--cont", "income", "--missing", "include", "--out", Out("inc")});
  const json& split = included["splits"][0];
  EXPECT_EQ(split["valid"], 10);
  EXPECT_EQ(Coded(split["variables"][0]["categories"]), Categories({{0, "1", "A"}, {1, "2", "B"}}));
  EXPECT_EQ(split["partitions"][0]["mean"][1], 36000.0 / 10);
  EXPECT_EQ(Column(ReadFile(Out("inc") + "/all/records.txt"), 0)[2], "-1.000000");
  EXPECT_EQ(Column(ReadFile(Out("inc") + "/all/records.txt"), 1)[2], "missing");

  // User-missing values as data: 9 is a category of its own (code 2) and
  // -99 a valid income; only case 7 (empty income) is deleted.
  json userValid = PrepareJson({"--cat", "group", "--cont", "income", "--user-missing", "include"});
  EXPECT_EQ(userValid["splits"][0]["valid"], 9);
  EXPECT_EQ(Coded(userValid["splits"][0]["variables"][0]["categories"]),
            Categories({{0, "1", "A"}, {1, "2", "B"}, {2, "9", "Unknown"}}));
  EXPECT_EQ(userValid["splits"][0]["variables"][1]["min"], -99.0);

  // Strong listwise deletion rejects case 4 before its region is encoded:
  // west never becomes a category.
  json soft = PrepareJson({"--cat", "region", "--cont", "age"});
  json strong = PrepareJson({"--cat", "region", "--cont", "age", "--strong-listwise"});
  EXPECT_EQ(soft["splits"][0]["valid"], 9);
  EXPECT_EQ(strong["splits"][0]["valid"], 9);
  EXPECT_EQ(soft["splits"][0]["variables"][0]["categories"].size(), 4u);
  EXPECT_EQ(Coded(strong["splits"][0]["variables"][0]["categories"]),
            Categories({{0, "north", "North"}, {1, "south", "South"}, {2, "east", "East"}}));
}

// Valid cases (all but 4) by age: 10 (20), 5, 1, 6, 2, 7, 3, 8, 9 (65). By
// region code, then age: north 1 6 7 3, south 10 5 2 8, east 9.
TEST_F(KvoPrepareTest, SortsRecordFiles) {
  KvoResult byAge = Prepare({"--cat", "region", "--cont", "age", "--sort-by", "age", "--out", Out("age")});
  ASSERT_EQ(byAge.fExitCode, 0) << byAge.fErr;
  EXPECT_EQ(Column(ReadFile(Out("age") + "/all/records.txt"), 3),
            (std::vector<std::string>{"10.000000", "5.000000", "1.000000", "6.000000", "2.000000", "7.000000",
                                      "3.000000", "8.000000", "9.000000"}));
  KvoResult byRegion =
      Prepare({"--cat", "region", "--cont", "age", "--sort-by", "region,age", "--out", Out("region")});
  ASSERT_EQ(byRegion.fExitCode, 0) << byRegion.fErr;
  EXPECT_EQ(Column(ReadFile(Out("region") + "/all/records.txt"), 3),
            (std::vector<std::string>{"1.000000", "6.000000", "7.000000", "3.000000", "10.000000", "5.000000",
                                      "2.000000", "8.000000", "9.000000"}));
  EXPECT_NE(byRegion.fOut.find("sorted by  region, age"), std::string::npos) << byRegion.fOut;
}

// Each refused case has one reason, the first that applies: with the
// weight w, cases 4 (0) and 9 (missing) are not read and case 10 (0.4
// rounds to 0) is refused for its weight; case 3's group 9 and case 7's
// income are missing. The strong rule judges the same cases before encoding
// (from the rows), with the same reasons. Without the weight, case 4's age
// comes first in record order; a missing dependent variable outside the
// last partition is the partitioning's refusal (case 5's y); the matrix
// refuses cases 3 (group 9 is user-missing: before encoding under the
// strong rule), 4 and 9 (no specification).
TEST_F(KvoPrepareTest, EveryRefusedCaseHasOneReason) {
  const std::string matrix = "region,group=" + DATA + "matrix.csv";
  const struct {
    std::vector<std::string> args;
    const char* reasons;
  } cases[] = {
      {{"--cat", "region,group", "--cont", "age,income", "--weight", "w"},
       R"({"weight": 1, "missing": {"region": 0, "group": 1, "age": 0, "income": 1}, "matrix": 0, "partition": 0})"},
      {{"--cat", "region,group", "--cont", "age,income", "--weight", "w", "--strong-listwise"},
       R"({"weight": 1, "missing": {"region": 0, "group": 1, "age": 0, "income": 1}, "matrix": 0, "partition": 0})"},
      {{"--cont", "age,income", "--weight", "w", "--weight-adjust", "asis"},
       R"({"weight": 0, "missing": {"age": 0, "income": 2}, "matrix": 0, "partition": 0})"},
      {{"--cat", "y", "--cont", "age", "--strong-listwise"},
       R"({"weight": 0, "missing": {"y": 1, "age": 1}, "matrix": 0, "partition": 0})"},
      {{"--cat", "region", "--matrix", matrix},
       R"({"weight": 0, "missing": {"region": 0}, "matrix": 3, "partition": 0})"},
      {{"--cat", "region", "--matrix", matrix, "--strong-listwise"},
       R"({"weight": 0, "missing": {"region": 0}, "matrix": 3, "partition": 0})"},
      {{"--cont", "age", "--partition-var", "part", "--parts", "3", "--depend", "age"},
       R"({"weight": 0, "missing": {"age": 1}, "matrix": 0, "partition": 0})"},
      {{"--cat", "y", "--partition-var", "part", "--depend", "y", "--missing", "include"},
       R"({"weight": 0, "missing": {"y": 0}, "matrix": 0, "partition": 1})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    KvoResult result = Prepare(args);
    ASSERT_EQ(result.fExitCode, 0) << result.fErr;
    const json split = json::parse(result.fOut)["splits"][0];
    EXPECT_EQ(split["reasons"], json::parse(c.reasons));
    int64_t total = split["reasons"]["weight"].get<int64_t>() + split["reasons"]["matrix"].get<int64_t>() +
                    split["reasons"]["partition"].get<int64_t>();
    for (const auto& [name, n] : split["reasons"]["missing"].items()) total += n.get<int64_t>();
    EXPECT_EQ(total, split["invalid"].get<int64_t>()) << "the reasons add up to the invalid cases";
  }

  // A last split group whose cases are all refused gives no record, and is
  // reported all the same.
  const std::string last = fScratch / "last.csv";
  WriteFile(last,
            "id,country,region,group,age,income,w,part,y\n1,1,north,1,30,1,1,1,0\n2,2,north,1,,1,1,1,0\n"
            "3,2,south,1,,1,1,1,0\n");
  KvoResult result = Prepare(
      {"--schema", DATA + "people.schema.json", "--cont", "age", "--split-by", "country", "--json"}, last);
  ASSERT_EQ(result.fExitCode, 0) << result.fErr;
  const json splits = json::parse(result.fOut)["splits"];
  ASSERT_EQ(splits.size(), 2u);
  EXPECT_EQ(splits[1]["cases"], 2);
  EXPECT_EQ(splits[1]["reasons"]["missing"]["age"], 2);
}

// matrix.csv knows north/south with group 1 and 2. Case 3 (group 9,
// user-missing), 4 (west) and 9 (east) have no specification; their region
// was encoded before the matrix failed, so west and east keep codes.
TEST_F(KvoPrepareTest, MatrixRecodes) {
  KvoResult result =
      Prepare({"--cat", "region", "--matrix", "region,group=" + DATA + "matrix.csv", "--json"});
  ASSERT_EQ(result.fExitCode, 0) << result.fErr;
  json summary = json::parse(result.fOut);
  EXPECT_EQ(summary["record"][1], json::parse(R"({"slot": 1, "name": "Matrix 1", "kind": "matrix"})"));
  const json& split = summary["splits"][0];
  EXPECT_EQ(split["valid"], 7);
  EXPECT_EQ(split["variables"].size(), 1u) << "matrix slots are not listed under variables";
  EXPECT_EQ(split["variables"][0]["categories"].size(), 4u);
  // Recoded values 10 21 21 10 11 20 20 for cases 1 2 5 6 7 8 10.
  EXPECT_EQ(split["partitions"][0]["min"][1], 10.0);
  EXPECT_EQ(split["partitions"][0]["max"][1], 21.0);
  EXPECT_EQ(split["partitions"][0]["mean"][1], 113.0 / 7);
  EXPECT_EQ(result.fErr.find("error:"), std::string::npos) << "the run succeeded: warnings, not errors";
  EXPECT_NE(result.fErr.find("warning: No specification for matrix"), std::string::npos) << result.fErr;
  size_t reports = 0;
  for (size_t at = result.fErr.find("No specification for matrix in subcommand group 1");
       at != std::string::npos; at = result.fErr.find("No specification for matrix", at + 1)) {
    ++reports;
  }
  EXPECT_EQ(reports, 3u) << result.fErr;
}

// By part with 3 partitions: training 1 2 4 5 6 8, test 3 7 9, holdout 10.
// Pass 1 reads training cases only: region gets north, south and west (case
// 4 is rejected for its age after its region was encoded), age 25 to 55.
// Pass 2 rejects case 4 (age) and case 9 (east has no category): both were
// assigned a partition but not stored, and east is counted as unseen.
TEST_F(KvoPrepareTest, PartitionsByVariable) {
  const std::string out = Out("byvar");
  json summary = PrepareJson(
      {"--cat", "region", "--cont", "age", "--partition-var", "part", "--parts", "3", "--out", out},
      "kvo prepare: warning: values not seen in training: region 1; their test and holdout cases were "
      "deleted\n");
  EXPECT_EQ(summary["record"][2], json::parse(R"({"slot": 2, "name": "Partition", "kind": "partition"})"));
  const json& split = summary["splits"][0];
  EXPECT_EQ(split["cases"], 10);
  EXPECT_EQ(split["valid"], 8);
  EXPECT_EQ(split["invalid"], 2);
  EXPECT_EQ(split["excluded"], 2);
  EXPECT_EQ(Coded(split["variables"][0]["categories"]),
            Categories({{0, "north", "North"}, {1, "south", "South"}, {2, "west", "West"}}));
  EXPECT_EQ(split["variables"][0]["unseen"], 1);
  EXPECT_EQ(split["variables"][1]["min"], 25.0);
  EXPECT_EQ(split["variables"][1]["max"], 55.0);
  // Per partition (training, test, holdout): north is cases 1 6 | 3 7, south
  // 2 5 8 | - | 10, west only case 4 (deleted: age missing); case 9's east
  // (test) had no code. Ages: training 30 40 25 35 55, test 50 45, holdout
  // 20; whole numbers 20..55 in bins of 1.
  const json& region = split["variables"][0];
  EXPECT_EQ(region["categories"][0]["byPartition"], (json{2, 2, 0}));
  EXPECT_EQ(region["categories"][1]["byPartition"], (json{3, 0, 1}));
  EXPECT_EQ(region["categories"][2]["byPartition"], (json{0, 0, 0}));
  EXPECT_EQ(region["unseenByPartition"], (json{0, 1, 0}));
  EXPECT_EQ(region["missingByPartition"], (json{0, 0, 0}));
  const json& histogram = split["variables"][1]["histogram"];
  EXPECT_EQ(histogram["start"], 20.0);
  EXPECT_EQ(histogram["width"], 1.0);
  std::vector<std::vector<int>> bins(3, std::vector<int>(36, 0));
  for (int age : {30, 40, 25, 35, 55}) bins[0][static_cast<size_t>(age - 20)] = 1;
  for (int age : {50, 45}) bins[1][static_cast<size_t>(age - 20)] = 1;
  bins[2][0] = 1;
  EXPECT_EQ(histogram["counts"], json(bins));
  const json& parts = split["partitions"];
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0]["name"], "training");
  EXPECT_EQ(parts[0]["records"], 5);
  EXPECT_EQ(parts[0]["file"], "all/training.txt");
  // Training records: ages 30 40 25 35 55, indicator 1, local counters
  // 0 1 4 5 7, case numbers 1 2 5 6 8.
  EXPECT_EQ(parts[0]["min"], (json{nullptr, 25.0, 1.0, 0.0, 1.0}));
  EXPECT_EQ(parts[0]["max"], (json{nullptr, 55.0, 1.0, 7.0, 8.0}));
  EXPECT_EQ(parts[0]["mean"], (json{nullptr, 37.0, 1.0, 17.0 / 5, 22.0 / 5}));
  EXPECT_EQ(parts[0]["meanSquare"], (json{nullptr, 1475.0, 1.0, 91.0 / 5, 130.0 / 5}));
  EXPECT_EQ(parts[1]["name"], "test");
  EXPECT_EQ(parts[1]["records"], 2);
  EXPECT_EQ(parts[1]["mean"][1], 47.5);
  EXPECT_EQ(parts[1]["meanSquare"][1], 2262.5);
  EXPECT_EQ(parts[2]["name"], "holdout");
  EXPECT_EQ(parts[2]["records"], 1);
  EXPECT_EQ(parts[2]["mean"][2], -1.0);
  EXPECT_EQ(Column(ReadFile(out + "/all/training.txt"), 4),
            (std::vector<std::string>{"1.000000", "2.000000", "5.000000", "6.000000", "8.000000"}));
  EXPECT_EQ(ReadFile(out + "/all/test.txt"),
            "  0.000000  50.000000  0.000000  2.000000  3.000000\n"
            "  0.000000  45.000000  0.000000  6.000000  7.000000\n");
  EXPECT_EQ(ReadFile(out + "/all/holdout.txt"), "  1.000000  20.000000  -1.000000  9.000000  10.000000\n");

  // Two partitions put the holdout case 10 into the test partition.
  json two =
      PrepareJson({"--cat", "region", "--cont", "age", "--partition-var", "part"},
                  "kvo prepare: warning: values not seen in training: region 1; their test and holdout "
                  "cases were deleted\n");
  ASSERT_EQ(two["splits"][0]["partitions"].size(), 2u);
  EXPECT_EQ(two["splits"][0]["partitions"][1]["records"], 3);
  EXPECT_TRUE(two["splits"][0]["partitions"][1]["file"].is_null()) << "no file without --out";

  // The dependent variable: with missing values included, case 5 (training,
  // y missing: code -1) fails the check and is excluded; the other nine are
  // stored. Sorted by age, the training file holds cases 1 4 6 2 8 (case
  // 4's age is missing, which sorts first).
  json depend =
      PrepareJson({"--cat", "y", "--cont", "age", "--partition-var", "part", "--parts", "3", "--depend", "y",
                   "--missing", "include", "--sort-by", "age", "--out", Out("depend")});
  const json& d = depend["splits"][0];
  EXPECT_EQ(d["valid"], 9);
  EXPECT_EQ(d["invalid"], 1);
  EXPECT_EQ(d["excluded"], 1);
  EXPECT_EQ(Coded(d["variables"][0]["categories"]), Categories({{0, "0", "No"}, {1, "1", "Yes"}}));
  EXPECT_EQ(d["partitions"][0]["records"], 5);
  EXPECT_EQ(d["partitions"][1]["records"], 3);
  EXPECT_EQ(d["partitions"][2]["records"], 1);
  EXPECT_EQ(Column(ReadFile(Out("depend") + "/all/training.txt"), 4),
            (std::vector<std::string>{"4.000000", "1.000000", "6.000000", "2.000000", "8.000000"}));
}

// Random partitions cannot be worked out by hand without the host's random
// stream; what can: the shares cover the valid cases, a seed repeats them,
// a 0% partition is listed without a file, folds divide the training file.
TEST_F(KvoPrepareTest, RandomPartitionsAndFolds) {
  const std::string sample = std::string(KVO_SOURCE_DIR) + "/data/sample/sample.csv";
  std::vector<std::string> args = {"prepare", sample,   "--quiet", "--json",      "--cat",
                                   "gender",  "--cont", "age",     "--partition", "60,40,0",
                                   "--folds", "4",      "--out",   Out("random")};
  KvoResult first = RunKvo(fScratch, args);
  ASSERT_EQ(first.fExitCode, 0) << first.fErr;
  EXPECT_TRUE(first.fLeftInTmp.empty()) << Joined(first.fLeftInTmp);
  json summary = json::parse(first.fOut);
  const json& split = summary["splits"][0];
  const json& parts = split["partitions"];
  ASSERT_EQ(parts.size(), 3u);
  const int training = parts[0]["records"], test = parts[1]["records"];
  EXPECT_EQ(training + test, split["valid"].get<int>());
  EXPECT_GT(training, test) << "60% against 40% of " << split["valid"];
  EXPECT_GT(test, 0);
  EXPECT_EQ(parts[2]["records"], 0);
  EXPECT_TRUE(parts[2]["file"].is_null());
  EXPECT_FALSE(std::filesystem::exists(Out("random") + "/all/holdout.txt"));
  // Folds: every training record carries one of 0..3; test records none.
  const std::vector<std::string> folds = Column(ReadFile(Out("random") + "/all/training.txt"), 3);
  std::vector<int> counted(4, 0);
  for (const std::string& fold : folds) counted[static_cast<size_t>(std::stod(fold))]++;
  EXPECT_EQ(static_cast<int>(folds.size()), training);
  EXPECT_EQ(parts[0]["folds"], json(counted));
  for (const std::string& fold : Column(ReadFile(Out("random") + "/all/test.txt"), 3))
    EXPECT_EQ(fold, "missing");
  EXPECT_FALSE(parts[1].contains("folds"));

  KvoResult again = RunKvo(fScratch, args);
  EXPECT_EQ(again.fOut, first.fOut) << "the same seed gives the same partitions";
  args.insert(args.end(), {"--seed", "12345"});
  KvoResult reseeded = RunKvo(fScratch, args);
  EXPECT_NE(reseeded.fOut, first.fOut);
}

// Names may hold blanks, dots and '=' (odd.csv: "home region", "score.v2",
// "a=b"); a --matrix takes the split at '=' that names known variables.
// Sorted by score.v2: rows 3 (0.5), 1 (1.5), 2 (2.5); matrix values x -> 1
// with north, y -> 2 with south.
TEST_F(KvoPrepareTest, NamesWithBlanksDotsAndEquals) {
  const std::string out = Out("odd");
  KvoResult result =
      Prepare({"--cat", "home region", "--cont", "SCORE.V2", "--matrix",
               "home region,a=b=" + DATA + "odd_matrix.csv", "--sort-by", "score.v2", "--out", out, "--json"},
              DATA + "odd.csv");
  ASSERT_EQ(result.fExitCode, 0) << result.fErr;
  json summary = json::parse(result.fOut);
  EXPECT_EQ(summary["record"][0]["name"], "home region");
  EXPECT_EQ(summary["record"][1]["name"], "score.v2");
  EXPECT_EQ(summary["splits"][0]["valid"], 3);
  EXPECT_EQ(ReadFile(out + "/all/records.txt"),
            "  0.000000  0.500000  1.000000  2.000000  3.000000\n"
            "  0.000000  1.500000  1.000000  0.000000  1.000000\n"
            "  1.000000  2.500000  2.000000  1.000000  2.000000\n");
}

TEST_F(KvoPrepareTest, ReadableReport) {
  KvoResult result = Prepare({"--cat", "region", "--cont", "age", "--weight", "w", "--split-by", "country"});
  ASSERT_EQ(result.fExitCode, 0) << result.fErr;
  EXPECT_EQ(result.fErr, "") << "no progress bar when stderr is not a terminal";
  const std::string& text = result.fOut;
  EXPECT_NE(text.find("kvo prepare: " + PEOPLE + ", 10 cases\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  weight    w (rounded)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("     2  w                  weight\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Split group 2 of 2: country = 2 (Two)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  plain        4      3        1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    region  0  north  North  2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    age  35  to  55\n"), std::string::npos) << text;
}

TEST_F(KvoPrepareTest, BadDataIsExitCodeOne) {
  const std::string bad = fScratch / "bad.csv";
  WriteFile(
      bad,
      "id,country,region,group,age,income,w,part,y\n1,1,north,1,30,1000,1,1,0\n2,1,south,2,forty,2,1,1,1\n");
  KvoResult row = Prepare({"--schema", DATA + "people.schema.json", "--cont", "age"}, bad);
  EXPECT_EQ(row.fExitCode, 1);
  EXPECT_NE(row.fErr.find(bad + ": line 3, column 5 (age)"), std::string::npos) << row.fErr;

  // Not sorted by region: north comes back at case 3.
  KvoResult order = Prepare({"--cont", "age", "--split-by", "region"});
  EXPECT_EQ(order.fExitCode, 1);
  EXPECT_NE(order.fErr.find("case 3"), std::string::npos) << order.fErr;
  EXPECT_NE(order.fErr.find("region = north"), std::string::npos) << order.fErr;

  const std::string matrix = fScratch / "m.csv";
  WriteFile(matrix, "region,group,value\nnorth,1,10\nsouth,two,20\n");
  KvoResult matrixRow = Prepare({"--matrix", "region,group=" + matrix});
  EXPECT_EQ(matrixRow.fExitCode, 1);
  EXPECT_NE(matrixRow.fErr.find(matrix + ": line 3, column 2 (group): 'two' is not a number"),
            std::string::npos)
      << matrixRow.fErr;
  WriteFile(matrix, "region,value\nnorth,10\n");
  KvoResult header = Prepare({"--matrix", "region,group=" + matrix});
  EXPECT_EQ(header.fExitCode, 1);
  EXPECT_NE(header.fErr.find(matrix + ": line 1"), std::string::npos) << header.fErr;

  const std::string schema = fScratch / "bad.schema.json";
  WriteFile(schema, R"({"fields": [{"name": "id", "type": "decimal"}]})");
  KvoResult badSchema = Prepare({"--schema", schema, "--cont", "id"});
  EXPECT_EQ(badSchema.fExitCode, 1);
  EXPECT_NE(badSchema.fErr.find(schema), std::string::npos) << badSchema.fErr;
  for (const KvoResult* result : {&row, &order, &matrixRow, &header, &badSchema}) {
    EXPECT_EQ(result->fOut, "");
    EXPECT_EQ(std::count(result->fErr.begin(), result->fErr.end(), '\n'), 1) << result->fErr;
  }
}

TEST_F(KvoPrepareTest, BadUsageIsExitCodeTwo) {
  struct Case {
    std::vector<std::string> fArgs;
    std::string fCulprit;
  };
  const std::vector<Case> cases = {
      {{"--cat", "regoin"},
       "--cat: there is no variable 'regoin' in " + PEOPLE + " (did you mean 'region'?)"},
      {{"--cat", "region", "--cont", "age,Region"}, "--cont: 'region' is given twice (already with --cat)"},
      {{"--cat", "region,group,region"}, "--cat: 'region' is given twice"},
      {{"--cont", "region"}, "--cont: 'region' is a string variable"},
      {{"--cont", "age", "--weight", "region"}, "--weight: 'region' is a string variable"},
      {{"--cont", "age", "--sort-by", "income"}, "--sort-by: 'income' is not a record variable"},
      {{"--cont", "age", "--split-by", "country,country"}, "--split-by: 'country' is given twice"},
      {{"--matrix", "region,nosuch=" + DATA + "matrix.csv"}, "--matrix: there is no variable 'nosuch'"},
      {{"--matrix", "region"}, "--matrix: 'region' is not VARS=FILE"},
      {{"--cont", "age", "--partition", "50,60"}, "--partition: the percentages add up to more than 100"},
      {{"--partition", "70,30"}, "the record is empty"},
      {{"--cat", "region", "--partition", "60,30,0"}, "--partition: the last partition has a share of 0"},
      {{"--cat", "region", "--out", Out("foreign")}, "holds files that kvo did not write"},
      {{"--bogus"}, "--bogus"},
      {{"--cont", "age", "--partition-var", "part", "--depend", "y"},
       "--depend: 'y' is not a record variable"},
      {{"--cont", "age", "--partition-var", "region"}, "--partition-var: 'region' is a string variable"},
  };
  std::filesystem::create_directory(Out("foreign"));
  WriteFile(Out("foreign") + "/notes.txt", "mine\n");
  for (const Case& c : cases) {
    KvoResult result = Prepare(c.fArgs);
    EXPECT_EQ(result.fExitCode, 2) << c.fCulprit;
    EXPECT_NE(result.fErr.find(c.fCulprit), std::string::npos) << result.fErr;
    EXPECT_EQ(std::count(result.fErr.begin(), result.fErr.end(), '\n'), 1) << result.fErr;
  }
  KvoResult noSchema = Prepare({"--cont", "x"}, fScratch / "nothere.csv");
  EXPECT_EQ(noSchema.fExitCode, 2);
  EXPECT_NE(noSchema.fErr.find("--schema"), std::string::npos) << noSchema.fErr;
}

// --out is replaced whole by a run that succeeds and left as it was by one
// that fails; nothing of either run is left beside it.
TEST_F(KvoPrepareTest, OutputDirectoryIsReplacedWholeOrNotAtAll) {
  const std::string out = Out("o");
  KvoResult partitioned = Prepare({"--cat", "region", "--partition", "70,30", "--out", out});
  ASSERT_EQ(partitioned.fExitCode, 0) << partitioned.fErr;
  ASSERT_TRUE(std::filesystem::exists(out + "/all/test.txt"));

  KvoResult plain = Prepare({"--cat", "region", "--cont", "age", "--out", out + "/"});
  ASSERT_EQ(plain.fExitCode, 0) << plain.fErr;
  EXPECT_TRUE(std::filesystem::exists(out + "/all/records.txt"));
  EXPECT_FALSE(std::filesystem::exists(out + "/all/test.txt")) << "no file of the earlier run is left";
  EXPECT_FALSE(std::filesystem::exists(out + "/all/training.txt"));
  const std::string summary = ReadFile(out + "/summary.json");
  EXPECT_NE(summary.find("records.txt"), std::string::npos);

  // No valid case (exit 3) after the files were begun: --out stays.
  const std::string none = fScratch / "none.csv";
  WriteFile(none, "id,country,region,group,age,income,w,part,y\n1,1,north,9,,,1,1,0\n");
  KvoResult failed = Prepare({"--schema", DATA + "people.schema.json", "--cat", "group", "--out", out}, none);
  EXPECT_EQ(failed.fExitCode, 3) << failed.fErr;
  EXPECT_EQ(ReadFile(out + "/summary.json"), summary);
  EXPECT_TRUE(std::filesystem::exists(out + "/all/records.txt"));
  for (const auto& entry : std::filesystem::directory_iterator(fScratch.Path())) {
    EXPECT_NE(entry.path().filename().string().rfind(".o.kvo", 0), 0u)
        << "left beside --out: " << entry.path();
  }
  EXPECT_EQ(std::filesystem::status(out).permissions() & std::filesystem::perms::others_read,
            std::filesystem::perms::others_read)
      << "an output directory as readable as any new directory";
}

TEST_F(KvoPrepareTest, NoValidCasesIsExitCodeThree) {
  const std::string none = fScratch / "none.csv";
  WriteFile(none, "id,country,region,group,age,income,w,part,y\n1,1,north,9,,,1,1,0\n2,1,south,9,,,1,1,0\n");
  KvoResult rejected =
      Prepare({"--schema", DATA + "people.schema.json", "--cat", "group", "--out", Out("n")}, none);
  EXPECT_EQ(rejected.fExitCode, 3);
  EXPECT_NE(rejected.fErr.find("There are no valid cases..."), std::string::npos) << rejected.fErr;
  EXPECT_NE(rejected.fErr.find("2 read"), std::string::npos) << rejected.fErr;
  EXPECT_FALSE(std::filesystem::exists(Out("n") + "/summary.json"));

  const std::string empty = fScratch / "empty.csv";
  WriteFile(empty, "id,country,region,group,age,income,w,part,y\n");
  KvoResult noRows =
      Prepare({"--schema", DATA + "people.schema.json", "--cont", "age", "--split-by", "country"}, empty);
  EXPECT_EQ(noRows.fExitCode, 3) << noRows.fErr;
  EXPECT_NE(noRows.fErr.find("There are no valid cases..."), std::string::npos) << noRows.fErr;
}

// Writes a data set big enough that loading it takes longer than the
// smallest time limit: 20000 copies of people.csv's first row.
std::string ManyRows(const ScratchDirectory& scratch, int rows) {
  std::string text = "id,country,region,group,age,income,w,part,y\n";
  for (int i = 1; i <= rows; ++i) text += std::to_string(i) + ",1,north,1,30,1000,1,1,0\n";
  const std::string path = scratch / "many.csv";
  WriteFile(path, text);
  return path;
}

TEST_F(KvoPrepareTest, TimeLimitIsExitCodeFour) {
  const std::string many = ManyRows(fScratch, 20000);
  // The limit counts from the start; the first check, at the first record,
  // finds it expired while a record file is being written and the sort runs.
  KvoResult result = Prepare({"--schema", DATA + "people.schema.json", "--cat", "region", "--cont", "age",
                              "--sort-by", "age", "--time-limit", "0.000001", "--out", Out("t")},
                             many);
  EXPECT_EQ(result.fExitCode, 4) << result.fErr;
  EXPECT_NE(result.fErr.find("Time out termination ..."), std::string::npos) << result.fErr;
  EXPECT_NE(result.fErr.find("time limit"), std::string::npos) << result.fErr;
  EXPECT_EQ(result.fOut, "");
}

// Ctrl-C: kvo reads its data from a FIFO, so the interruption is surely
// pending (the handler is installed before the data are opened) when the
// first record is read, with a record file open and a sort under way.
TEST_F(KvoPrepareTest, InterruptionIsExitCode130) {
  const std::string fifo = fScratch / "fifo.csv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  KvoProcess process(fScratch, {"prepare", fifo, "--schema", DATA + "people.schema.json", "--quiet", "--cat",
                                "region", "--cont", "age", "--sort-by", "age", "--out", Out("i")});
  process.Start();
  int fd = open(fifo.c_str(), O_WRONLY);  // waits until kvo opens the data
  ASSERT_GE(fd, 0);
  kill(process.Pid(), SIGINT);
  const std::string data = ReadFile(PEOPLE);
  ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  close(fd);
  KvoResult result = process.Wait();
  EXPECT_EQ(result.fExitCode, 130) << result.fErr;
  EXPECT_NE(result.fErr.find("interrupted"), std::string::npos) << result.fErr;
  EXPECT_TRUE(result.fLeftInTmp.empty()) << Joined(result.fLeftInTmp);
}

}  // namespace
}  // namespace kvo_test
