// The HTML report's writer: escaping and shortening of texts, numbers in
// SVG, the page's charts and limits, and the summary read back from its
// JSON form (the same page from summary.json as from the run).
#include <gtest/gtest.h>

#include <functional>

#include "KvoError.h"
#include "Report.h"

namespace kvo {
namespace {

using json = nlohmann::ordered_json;

const std::string FFFD = "\xEF\xBF\xBD";

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// The SVG element with `id`, or "".
std::string Svg(const std::string& page, const std::string& id) {
  const size_t begin = page.find("<svg id=\"" + id + "\"");
  if (begin == std::string::npos) return std::string();
  return page.substr(begin, page.find("</svg>", begin) + 6 - begin);
}

// One split group, partitioned 2 ways: a categorical variable with
// `categories` categories and a continuous one with a histogram.
Summary PartitionedSummary(int categories) {
  Summary summary;
  summary.fRun.fSettings = {{"data", "d.csv"}, {"partition", {70.0, 30.0}}, {"missing", "listwise"}};
  summary.fCases = 100;
  summary.fvRecord = {{0, "region", SlotKind::Categorical, 0},
                      {1, "age", SlotKind::Continuous, 1},
                      {2, "Partition", SlotKind::Partition, -1}};
  SplitSummary split;
  split.fCases = 100;
  split.fValid = 90;
  split.fInvalid = 10;
  split.fReasons.fWeight = 4;
  split.fReasons.fvMissing = {6, 0};
  VariableSummary region;
  region.fName = "region";
  for (int code = 0; code < categories; ++code) {
    const int64_t test = code % 3 == 0 ? 1 : 0;
    region.fvCategories.push_back(
        {code, "v" + std::to_string(code), "", std::nullopt, "v", 1 + test, 1.0, {1, test}});
  }
  region.fUnseen = 3;
  region.fvUnseenByPartition = {0, 3};
  region.fvMissingByPartition = {0, 0};
  VariableSummary age;
  age.fSlot = 1;
  age.fName = "age";
  age.fKind = SlotKind::Continuous;
  age.fMin = 18;
  age.fMax = 85;
  age.fHistogram = HistogramSummary{18.0, 2.0, {{3, 0, 5}, {1, 1, 0}}};
  split.fvVariables = {region, age};
  for (const char* name : {"training", "test"}) {
    PartitionSummary partition;
    partition.fName = name;
    partition.fRecords = 45;
    FillStatistics(partition, summary.fvRecord, {0, 18, 1}, {0, 85, 1}, {0, 40, 1}, {0, 1700, 1});
    split.fvPartitions.push_back(partition);
  }
  summary.fvSplits.push_back(split);
  return summary;
}

TEST(ReportTest, TextsAreEscapedAndKeptValid) {
  const std::pair<std::string, std::string> cases[] = {
      {"a<b>c", "a&lt;b&gt;c"},
      {"\"q\" & 'a'", "&quot;q&quot; &amp; &#39;a&#39;"},
      {"&amp;", "&amp;amp;"},
      {"ab\x81", "ab" + FFFD},                        // a byte that is not UTF-8
      {"S\xC3\xBC\x64\xC3", "S\xC3\xBC\x64" + FFFD},  // a cut character
      {std::string("a\0b\x1B\x7F", 5), "a" + FFFD + "b" + FFFD + FFFD},
      {"tab\there\nline", "tab\there\nline"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(HtmlText(text), expected) << text;
}

TEST(ReportTest, ShortenedCutsWholeCharacters) {
  const std::string ellipsis = "\xE2\x80\xA6";
  EXPECT_EQ(Shortened("abcdef", 6), "abcdef");
  EXPECT_EQ(Shortened("abcdefg", 6), "abcde" + ellipsis);
  EXPECT_EQ(Shortened("\xC3\xBC\xC3\xBC\xC3\xBC", 3), "\xC3\xBC\xC3\xBC\xC3\xBC");
  EXPECT_EQ(Shortened("\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC", 3), "\xC3\xBC\xC3\xBC" + ellipsis);
  EXPECT_EQ(Shortened("abc", 0), "");
}

TEST(ReportTest, NumbersForSvgAndReaders) {
  const std::pair<double, std::string> svg[] = {{3.0, "3"},          {12.5, "12.5"},
                                                {0.125, "0.13"},     {-0.001, "0"},
                                                {-2.25, "-2.25"},    {1e20, "100000000000000000000"},
                                                {std::nan(""), "0"}, {-HUGE_VAL, "0"}};
  for (const auto& [value, expected] : svg) EXPECT_EQ(SvgNumber(value), expected) << value;
  const std::pair<double, std::string> readable[] = {
      {8184.58, "8184.58"}, {1.5e7, "1.5e+07"}, {-0.0, "0"}, {0.1 + 0.2, "0.3"}, {std::nan(""), "-"}};
  for (const auto& [value, expected] : readable) EXPECT_EQ(ReadableNumber(value), expected) << value;
}

TEST(ReportTest, PageDrawsEveryChart) {
  const std::string page = SummaryToHtml(PartitionedSummary(4));
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(Occurrences(page, "<svg "), Occurrences(page, "</svg>"));
  for (const char* id : {"g1-reasons", "g1-partitions", "g1-cat-0", "g1-hist-1-p0", "g1-hist-1-p1"}) {
    EXPECT_FALSE(Svg(page, id).empty()) << id;
  }
  // Nothing from elsewhere.
  for (const char* outside : {"<script", "http:", "https:", "@import", "url("}) {
    const std::string svgNamespace = "http://www.w3.org/2000/svg";
    std::string rest = page;
    for (size_t at; (at = rest.find(svgNamespace)) != std::string::npos;) rest.erase(at, svgNamespace.size());
    EXPECT_EQ(rest.find(outside), std::string::npos) << outside;
  }
  // Categories 0 and 3 are in both partitions: a bar each per partition,
  // with the count and the share of the partition's 45 records.
  const std::string chart = Svg(page, "g1-cat-0");
  EXPECT_EQ(Occurrences(chart, "<rect"), 8u);
  EXPECT_NE(chart.find(">1 (2.2%)</text>"), std::string::npos) << chart;
  EXPECT_NE(page.find("3 values had no code</span> (test 3)"), std::string::npos);
  // Histograms: bars as shares of the partition's values; empty bins drawn
  // as nothing.
  const std::string training = Svg(page, "g1-hist-1-p0");
  EXPECT_EQ(Occurrences(training, "<rect"), 2u);
  EXPECT_NE(training.find("<title>[22, 24): 5 (62.5%)</title>"), std::string::npos) << training;
  EXPECT_NE(page.find("weight adjusted to 0"), std::string::npos);
  EXPECT_NE(page.find("region missing"), std::string::npos);
}

TEST(ReportTest, CategoriesOnlyOutsideTrainingAreMarked) {
  Summary summary = PartitionedSummary(3);
  summary.fvSplits[0].fvVariables[0].fvCategories[1].fvByPartition = {0, 2};
  const std::string page = SummaryToHtml(summary);
  EXPECT_EQ(Occurrences(Svg(page, "g1-cat-0"), "class=\"new\""), 1u);
  EXPECT_NE(page.find("v1 \xE2\x97\x86"), std::string::npos);
  EXPECT_NE(page.find("1 category was found only in other partitions"), std::string::npos);
}

TEST(ReportTest, HostileTextsStayText) {
  Summary summary = PartitionedSummary(2);
  CategorySummary& category = summary.fvSplits[0].fvVariables[0].fvCategories[0];
  category.fValue = "<script>alert(1)</script>";
  category.fLabel = "a&b \"c\" 'd' \x81";
  summary.fvSplits[0].fvVariables[1].fName = "<img src=x>";
  summary.fRun.fSettings["data"] = "</title><h1>";
  const std::string page = SummaryToHtml(summary);
  for (const char* raw : {"<script", "<img", "</title><h1>", "\x81"}) {
    EXPECT_EQ(page.find(raw), std::string::npos) << raw;
  }
  EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(page.find("a&amp;b &quot;c&quot; &#39;d&#39; " + FFFD), std::string::npos);
}

TEST(ReportTest, ManyCategoriesAreCappedAndThePageStaysSmall) {
  Summary summary = PartitionedSummary(300);
  // The most frequent are those in both partitions: codes 0, 3, 6, ...
  const std::string chart = Svg(SummaryToHtml(summary), "g1-cat-0");
  EXPECT_EQ(Occurrences(chart, "<g>"), REPORT_CATEGORIES + 1);
  EXPECT_NE(chart.find(">v147<"), std::string::npos);
  EXPECT_EQ(chart.find(">v150<"), std::string::npos);
  EXPECT_NE(chart.find("others (250 categories)"), std::string::npos);

  // Many split groups of many long-named categories: the page stops below
  // the limit and says what it left out.
  SplitSummary group = summary.fvSplits[0];
  for (CategorySummary& category : group.fvVariables[0].fvCategories) category.fLabel = std::string(500, 'x');
  for (int v = 0; v < 10; ++v) group.fvVariables.push_back(group.fvVariables[0]);
  summary.fvSplits.assign(60, group);
  const std::string page = SummaryToHtml(summary);
  EXPECT_LE(page.size(), REPORT_LIMIT);
  EXPECT_NE(page.find("are not shown: the report stays under 1 MiB"), std::string::npos);
  EXPECT_EQ(page.substr(page.size() - 8), "</html>\n");
}

TEST(ReportTest, SummaryReadsBackFromJson) {
  const Summary summary = PartitionedSummary(5);
  const json written = SummaryToJson(summary);
  const Summary back = SummaryFromJson(written, "s.json");
  EXPECT_EQ(SummaryToJson(back), written);
  EXPECT_EQ(SummaryToHtml(back), SummaryToHtml(summary));

  // A summary of an older run has no per-partition counts: one bar per
  // category, of all valid records.
  json old = written;
  for (json& category : old["splits"][0]["variables"][0]["categories"]) category.erase("byPartition");
  old["splits"][0]["variables"][1].erase("histogram");
  const std::string page = SummaryToHtml(SummaryFromJson(old, "old.json"));
  EXPECT_EQ(Occurrences(Svg(page, "g1-cat-0"), "<rect"), 5u);
  EXPECT_NE(page.find("No histogram"), std::string::npos);
}

TEST(ReportTest, SummaryReaderNamesTheBadField) {
  const json good = SummaryToJson(PartitionedSummary(2));
  const std::pair<std::function<void(json&)>, std::string> cases[] = {
      {[](json& j) { j = json::array(); }, "the top level is not an object"},
      {[](json& j) { j.erase("splits"); }, "splits is missing"},
      {[](json& j) { j["splits"] = 3; }, "splits is not a list"},
      {[](json& j) { j["splits"][0]["cases"] = "many"; }, "splits[0].cases is not a whole number"},
      {[](json& j) { j["splits"][0]["valid"] = -1; }, "splits[0].valid is negative"},
      {[](json& j) { j["splits"][0]["variables"][0]["kind"] = "odd"; },
       "splits[0].variables[0].kind is not a kind of record slot: \"odd\""},
      {[](json& j) { j["splits"][0]["variables"][0]["categories"][1]["byPartition"][0] = 1.5; },
       "splits[0].variables[0].categories[1].byPartition[0] is not a whole number"},
      {[](json& j) { j["splits"][0]["variables"][1]["histogram"]["width"] = 0; },
       "splits[0].variables[1].histogram.width is not above 0"},
      {[](json& j) { j["splits"][0]["variables"][1]["histogram"]["counts"][1] = {1}; },
       "splits[0].variables[1].histogram.counts[1] does not have as many bins as the first partition"},
      {[](json& j) { j["splits"][0]["reasons"]["missing"]["nobody"] = 1; },
       "splits[0].reasons.missing names nobody, which is not a record variable"},
      {[](json& j) { j["record"][0]["slot"] = 1e300; }, "record[0].slot is not a whole number"},
  };
  for (const auto& [change, message] : cases) {
    json bad = good;
    change(bad);
    try {
      SummaryFromJson(bad, "bad.json");
      ADD_FAILURE() << "accepted: " << message;
    } catch (const KvoError& error) {
      EXPECT_EQ(error.Code(), EXIT_BAD_INPUT);
      EXPECT_EQ(std::string(error.what()), "bad.json: not a kvo prepare summary: " + message);
    }
  }
}

}  // namespace
}  // namespace kvo
