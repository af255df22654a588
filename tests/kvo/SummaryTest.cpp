// Rendering of the prepare summary: the documented JSON shape (nulls for
// categorical slots and unseen values, numbers that read back exactly) and
// the helpers of the readable report (the end-to-end tests read the report
// itself); plus the statistics the program keeps for record files that the
// library does not keep itself.
#include <gtest/gtest.h>
#include <vorm/Types.h>

#include <cmath>

#include "SlotStatistics.h"
#include "Summary.h"
#include "TextTable.h"

namespace kvo {
namespace {

Summary SmallSummary() {
  Summary summary;
  summary.fRun.fDataPath = "d.csv";
  summary.fRun.fvSplitBy = {"country"};
  summary.fCases = 1234567;
  summary.fvRecord = {{0, "region", SlotKind::Categorical, 2},
                      {1, "age", SlotKind::Continuous, 4},
                      {2, "Local Case Count", SlotKind::Counter, -1}};
  SplitSummary split;
  split.fvValues = {{"country", "1", "North"}};
  split.fCases = 120;
  split.fValid = 100;
  split.fInvalid = 20;
  split.fWeightedCases = 130.0;
  split.fWeightedValid = 110.5;
  split.fWeightedInvalid = 19.5;
  split.fvVariables = {
      {0,
       "region",
       SlotKind::Categorical,
       {{0, "2", "South", 2.0, "", 60, 70.5, {60, 0}}, {1, "10", "", 10.0, "", 38, 38.0, {38, 0}}},
       {},
       {},
       2,
       2.0,
       7,
       {2, 0},
       {0, 7},
       std::nullopt},
      {1,
       "age",
       SlotKind::Continuous,
       {},
       18.0,
       0.1,
       0,
       0.0,
       0,
       {},
       {},
       HistogramSummary{16.0, 2.0, {{1, 0, 3}, {0, 0, 0}}}}};
  PartitionSummary records;
  records.fName = "records";
  records.fRecords = 100;
  records.fFile = "split-1/records.txt";
  FillStatistics(records, summary.fvRecord, {5.0, VORM_SYSMIS, 0.0}, {7.0, VORM_SYSMIS, 99.0},
                 {6.0, 0.0, 49.5}, {37.0, 0.0, 3283.5});
  split.fvPartitions.push_back(records);
  PartitionSummary empty;
  empty.fName = "test";
  FillStatistics(empty, summary.fvRecord, {}, {}, {}, {});
  split.fvPartitions.push_back(empty);
  summary.fvSplits.push_back(split);
  return summary;
}

TEST(SummaryTest, JsonHasTheDocumentedShape) {
  const nlohmann::json json = nlohmann::json::parse(SummaryToJson(SmallSummary()).dump());
  EXPECT_EQ(json["cases"], 1234567);
  ASSERT_EQ(json["record"].size(), 3u);
  EXPECT_EQ(json["record"][1], (nlohmann::json{{"slot", 1}, {"name", "age"}, {"kind", "continuous"}}));
  EXPECT_EQ(json["record"][2]["kind"], "counter");

  const nlohmann::json& split = json["splits"][0];
  EXPECT_EQ(split["values"][0], (nlohmann::json{{"name", "country"}, {"value", "1"}, {"label", "North"}}));
  EXPECT_EQ(split["cases"], 120);
  EXPECT_EQ(split["valid"], 100);
  EXPECT_EQ(split["invalid"], 20);
  EXPECT_EQ(split["weighted"]["valid"], 110.5);
  EXPECT_EQ(split["excluded"], 0);
  EXPECT_EQ(split["variables"][0]["categories"][1], (nlohmann::json{{"code", 1},
                                                                    {"value", "10"},
                                                                    {"label", ""},
                                                                    {"key", 10.0},
                                                                    {"count", 38},
                                                                    {"weighted", 38.0},
                                                                    {"byPartition", {38, 0}}}));
  EXPECT_EQ(split["variables"][0]["missing"], (nlohmann::json{{"count", 2}, {"weighted", 2.0}}));
  EXPECT_EQ(split["variables"][0]["unseen"], 7);
  EXPECT_EQ(split["variables"][0]["missingByPartition"], (nlohmann::json{2, 0}));
  EXPECT_EQ(split["variables"][0]["unseenByPartition"], (nlohmann::json{0, 7}));
  EXPECT_FALSE(split["variables"][0].contains("min"));
  EXPECT_EQ(split["variables"][1]["min"], 18.0);
  EXPECT_EQ(split["variables"][1]["histogram"],
            nlohmann::json::parse(R"({"start": 16.0, "width": 2.0, "counts": [[1, 0, 3], [0, 0, 0]]})"));
  EXPECT_FALSE(split["variables"][1].contains("categories"));

  const nlohmann::json& records = split["partitions"][0];
  EXPECT_EQ(records["file"], "split-1/records.txt");
  // Categorical slot: null everywhere; a slot without values: null min and max, the kept means.
  EXPECT_EQ(records["min"], (nlohmann::json{nullptr, nullptr, 0.0}));
  EXPECT_EQ(records["max"], (nlohmann::json{nullptr, nullptr, 99.0}));
  EXPECT_EQ(records["mean"], (nlohmann::json{nullptr, 0.0, 49.5}));
  EXPECT_EQ(records["meanSquare"], (nlohmann::json{nullptr, 0.0, 3283.5}));
  EXPECT_FALSE(records.contains("folds"));
  const nlohmann::json& empty = split["partitions"][1];
  EXPECT_EQ(empty["records"], 0);
  EXPECT_TRUE(empty["file"].is_null());
  EXPECT_EQ(empty["mean"], (nlohmann::json{nullptr, 0.0, 0.0}));
}

TEST(SummaryTest, JsonNumbersReadBackExactly) {
  Summary summary = SmallSummary();
  const double third = 1.0 / 3.0, big = 1e300 / 7.0;
  summary.fvSplits[0].fvVariables[1].fMin = third;
  summary.fvSplits[0].fvVariables[1].fMax = big;
  const std::string text = SummaryToJson(summary).dump();
  const nlohmann::json back = nlohmann::json::parse(text);
  EXPECT_EQ(back["splits"][0]["variables"][1]["min"].get<double>(), third);
  EXPECT_EQ(back["splits"][0]["variables"][1]["max"].get<double>(), big);
  EXPECT_NE(text.find("130.0"), std::string::npos) << "whole weighted counts stay numbers with a point";
}

TEST(SummaryTest, TextsThatAreNotUtf8LoseOnlyTheirBadBytes) {
  const std::string replacement = "\xEF\xBF\xBD";  // U+FFFD
  EXPECT_EQ(ValidUtf8("ab\x81"), "ab" + replacement);
  EXPECT_EQ(ValidUtf8("S\xC3\xBC\x64\xC3"), "S\xC3\xBC\x64" + replacement);              // a cut character
  EXPECT_EQ(ValidUtf8("\xED\xA0\x80x"), replacement + replacement + replacement + "x");  // a surrogate
  EXPECT_EQ(ValidUtf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");

  // The JSON form can be written and keeps distinct values apart.
  Summary summary = SmallSummary();
  summary.fvSplits[0].fvVariables[0].fvCategories[0].fValue = "ab\x81";
  summary.fvSplits[0].fvVariables[0].fvCategories[1].fValue = "cd\x8D";
  summary.fvSplits[0].fvValues[0].fLabel = "N\xF6rd";
  std::string text;
  ASSERT_NO_THROW(text = SummaryToJson(summary).dump());
  const nlohmann::json back = nlohmann::json::parse(text);
  EXPECT_EQ(back["splits"][0]["variables"][0]["categories"][0]["value"], "ab" + replacement);
  EXPECT_EQ(back["splits"][0]["variables"][0]["categories"][1]["value"], "cd" + replacement);
  EXPECT_EQ(back["splits"][0]["values"][0]["label"], "N" + replacement + "rd");
}

TEST(SummaryTest, TextHelpers) {
  EXPECT_EQ(GroupDigits(0), "0");
  EXPECT_EQ(GroupDigits(999), "999");
  EXPECT_EQ(GroupDigits(1000), "1,000");
  EXPECT_EQ(GroupDigits(-1234567), "-1,234,567");
  EXPECT_EQ(WeightedText(130.0), "130");
  EXPECT_EQ(WeightedText(110.25), "110.25");
  EXPECT_EQ(WeightedText(2.0 / 3.0), "0.67");
  EXPECT_EQ(ShortestText(0.1), "0.1");
  EXPECT_EQ(DisplayWidth("S\xC3\xBC\x64"), 3u);  // "Süd"
  TextTable table({false, true});
  table.AddRow({"S\xC3\xBC\x64", "1"});
  table.AddRow({"x", "100"});
  EXPECT_EQ(table.Render("> "), "> S\xC3\xBC\x64    1\n> x    100\n");
}

TEST(SummaryTest, SlotStatisticsFollowTheLibraryRules) {
  // Slot 0 categorical, slot 1 continuous with a missing value: 2, missing, 4.
  SlotStatistics statistics({true, false});
  const double records[3][2] = {{1.0, 2.0}, {0.0, VORM_SYSMIS}, {1.0, 4.0}};
  for (const auto& record : records) statistics.Add(record);
  statistics.Complete();
  EXPECT_EQ(statistics.Count(), 3);
  EXPECT_EQ(statistics.Min()[0], VORM_SYSMIS);
  EXPECT_EQ(statistics.Mean()[0], 0.0);
  EXPECT_EQ(statistics.Min()[1], 2.0);
  EXPECT_EQ(statistics.Max()[1], 4.0);
  EXPECT_EQ(statistics.Mean()[1], 2.0);               // 6 / 3: the divisor is the record count
  EXPECT_EQ(statistics.MeanSquare()[1], 20.0 / 3.0);  // (4 + 16) / 3

  SlotStatistics none({false});
  none.Complete();
  EXPECT_EQ(none.Min()[0], VORM_SYSMIS);
  EXPECT_EQ(none.Mean()[0], 0.0);
}

}  // namespace
}  // namespace kvo
