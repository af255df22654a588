// The train-then-apply workflow of `kvo prepare` end to end on the sample
// data: codes saved by a training run and applied to new data, the three
// code orders, and the three record file formats. Expected codes are
// computed here from the CSV text and the schema, not taken from kvo.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/KvoProcess.h"

namespace kvo_test {
namespace {

using nlohmann::json;

const std::string SAMPLE_DIR = std::string(KVO_SOURCE_DIR) + "/data/sample/";
const std::string SAMPLE = SAMPLE_DIR + "sample.csv";
const std::string SAMPLE_SCHEMA = SAMPLE_DIR + "sample.schema.json";

std::vector<std::string> Split(const std::string& line, char delimiter = ',') {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, delimiter)) fields.push_back(field);
  if (!line.empty() && line.back() == delimiter) fields.emplace_back();
  return fields;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

double Number(const std::string& text) {
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_TRUE(error == std::errc() && end == text.data() + text.size()) << "not a number: '" << text << "'";
  return value;
}

// A CSV record file: the header and the rows as doubles (NaN for an empty
// field).
struct CsvRecords {
  std::vector<std::string> fHeader;
  std::vector<std::vector<double>> fRows;
  size_t Column(const std::string& name) const {
    auto found = std::find(fHeader.begin(), fHeader.end(), name);
    EXPECT_NE(found, fHeader.end()) << name;
    return static_cast<size_t>(found - fHeader.begin());
  }
};

CsvRecords ReadCsvRecords(const std::string& path) {
  CsvRecords records;
  std::vector<std::string> lines = Lines(ReadFile(path));
  if (lines.empty()) return records;
  records.fHeader = Split(lines[0]);
  for (size_t i = 1; i < lines.size(); ++i) {
    std::vector<double> row;
    for (const std::string& field : Split(lines[i])) row.push_back(field.empty() ? NAN : Number(field));
    EXPECT_EQ(row.size(), records.fHeader.size()) << path << " line " << i + 1;
    records.fRows.push_back(std::move(row));
  }
  return records;
}

// A .npy file read by the rules of its format (version 1.0), checking the
// header as it goes: magic, version, a header of a multiple of 64 bytes,
// little-endian float64 in C order, and exactly the data the shape needs.
std::vector<std::vector<double>> ReadNpy(const std::string& path, size_t slots) {
  const std::string bytes = ReadFile(path);
  EXPECT_GE(bytes.size(), 10u);
  if (bytes.size() < 10) return {};
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x93NUMPY\x01\x00", 8));
  const size_t headerLength = static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9])
                                                                         << 8;
  const size_t dataStart = 10 + headerLength;
  EXPECT_EQ(dataStart % 64, 0u);
  const std::string header = bytes.substr(10, headerLength);
  EXPECT_EQ(header.back(), '\n');
  EXPECT_NE(header.find("'descr': '<f8'"), std::string::npos) << header;
  EXPECT_NE(header.find("'fortran_order': False"), std::string::npos) << header;
  const size_t shape = header.find("'shape': (");
  EXPECT_NE(shape, std::string::npos) << header;
  if (shape == std::string::npos) return {};
  const size_t rows = std::stoul(header.substr(shape + 10));
  const size_t comma = header.find(", ", shape);
  EXPECT_EQ(std::stoul(header.substr(comma + 2)), slots) << header;
  EXPECT_EQ(bytes.size(), dataStart + rows * slots * 8) << "the data holds exactly records x slots doubles";
  std::vector<std::vector<double>> out(rows, std::vector<double>(slots));
  for (size_t r = 0; r < rows; ++r) {
    for (size_t s = 0; s < slots; ++s) {
      uint64_t bits = 0;
      for (int b = 7; b >= 0; --b)
        bits = bits << 8 |
               static_cast<unsigned char>(bytes[dataStart + (r * slots + s) * 8 + static_cast<size_t>(b)]);
      out[r][s] = std::bit_cast<double>(bits);
    }
  }
  return out;
}

// Equal bit for bit, or both NaN.
bool SameDouble(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// value -> code of one variable of one split group of a summary.
std::map<std::string, int> CodesOf(const json& summary, const std::string& variable, size_t group = 0) {
  std::map<std::string, int> codes;
  for (const json& v : summary["splits"][group]["variables"]) {
    if (v["name"] != variable) continue;
    for (const json& c : v["categories"]) codes[c["value"].get<std::string>()] = c["code"].get<int>();
  }
  return codes;
}

class KvoWorkflowTest : public ::testing::Test {
 protected:
  KvoResult Prepare(std::vector<std::string> args) {
    args.insert(args.begin(), {"prepare", "--quiet"});
    KvoResult result = RunKvo(fScratch, args);
    EXPECT_TRUE(result.fLeftInTmp.empty()) << "left in TMPDIR: " << Joined(result.fLeftInTmp);
    return result;
  }
  std::string Path(const std::string& name) const { return fScratch / name; }

  ScratchDirectory fScratch;
};

// Trains on the sample, then applies the saved codes to a shuffled third of
// it in which two cases have an occupation the training run never saw.
TEST_F(KvoWorkflowTest, SavedCodesApplyToNewDataValueByValue) {
  const std::vector<std::string> lines = Lines(ReadFile(SAMPLE));
  const std::vector<std::string> header = Split(lines[0]);
  const size_t occupation =
      static_cast<size_t>(std::find(header.begin(), header.end(), "occupation") - header.begin());
  std::vector<std::vector<std::string>> rows;  // the new file's rows, in its order
  for (size_t i = lines.size() - 1; i >= 1; i -= 3) rows.push_back(Split(lines[i]));
  rows[4][occupation] = "astronaut";
  rows[9][occupation] = "astronaut";
  std::string text = lines[0] + "\n";
  for (const std::vector<std::string>& row : rows) {
    for (size_t f = 0; f < row.size(); ++f) text += (f > 0 ? "," : "") + row[f];
    text += "\n";
  }
  WriteFile(Path("new.csv"), text);

  const std::vector<std::string> vars = {"--cat", "occupation,gender,country", "--cont", "age"};
  std::vector<std::string> train = {SAMPLE, "--partition", "70,30", "--out", Path("train")};
  train.insert(train.end(), vars.begin(), vars.end());
  KvoResult trained = Prepare(train);
  ASSERT_EQ(trained.fExitCode, 0) << trained.fErr;
  const json saved = json::parse(ReadFile(Path("train/summary.json")));
  const std::map<std::string, int> codes = CodesOf(saved, "occupation");
  ASSERT_EQ(codes.size(), 6u);

  for (const std::string missing : {"listwise", "include"}) {
    SCOPED_TRACE(missing);
    const std::string out = Path("apply-" + missing);
    std::vector<std::string> apply = {Path("new.csv"),
                                      "--schema",
                                      SAMPLE_SCHEMA,
                                      "--codes-from",
                                      Path("train/summary.json"),
                                      "--missing",
                                      missing,
                                      "--format",
                                      "csv",
                                      "--out",
                                      out};
    apply.insert(apply.end(), vars.begin(), vars.end());
    KvoResult applied = Prepare(apply);
    ASSERT_EQ(applied.fExitCode, 0) << applied.fErr;
    EXPECT_NE(applied.fErr.find("values without a code in " + Path("train/summary.json") + ": occupation 2"),
              std::string::npos)
        << applied.fErr;

    const json summary = json::parse(ReadFile(out + "/summary.json"));
    EXPECT_EQ(CodesOf(summary, "occupation"), codes) << "the saved codes, and no new one";
    const json& variable = summary["splits"][0]["variables"][0];
    EXPECT_EQ(variable["unseen"], 2);
    int64_t counted = variable["missing"]["count"].get<int64_t>();
    for (const json& category : variable["categories"]) counted += category["count"].get<int64_t>();
    EXPECT_EQ(counted, summary["splits"][0]["valid"].get<int64_t>())
        << "the counts add up to the valid cases";

    // Every record's occupation code is the saved code of its case's value.
    const CsvRecords records = ReadCsvRecords(out + "/all/records.csv");
    const size_t code = records.Column("occupation"), caseNumber = records.Column("Global Case Count");
    int unseen = 0;
    for (const std::vector<double>& record : records.fRows) {
      const std::string& value = rows[static_cast<size_t>(record[caseNumber]) - 1][occupation];
      if (value == "astronaut") {
        ++unseen;
        EXPECT_EQ(record[code], -1.0);
      } else {
        EXPECT_EQ(record[code], codes.at(value)) << value;
      }
    }
    EXPECT_EQ(unseen, missing == "include" ? 2 : 0) << "unseen values are deleted under listwise deletion";
  }
}

// Codes are kept per split group: a group the training run did not have
// ends the run, naming it.
TEST_F(KvoWorkflowTest, SavedCodesNeedEverySplitGroup) {
  std::string firstTwo;
  for (const std::string& line : Lines(ReadFile(SAMPLE))) {
    if (Split(line)[1] != "3") firstTwo += line + "\n";
  }
  WriteFile(Path("two.csv"), firstTwo);
  KvoResult trained = Prepare({Path("two.csv"), "--schema", SAMPLE_SCHEMA, "--cat", "gender", "--split-by",
                               "country", "--out", Path("two")});
  ASSERT_EQ(trained.fExitCode, 0) << trained.fErr;
  KvoResult applied =
      Prepare({SAMPLE, "--cat", "gender", "--split-by", "country", "--codes-from", Path("two/summary.json")});
  EXPECT_EQ(applied.fExitCode, 1);
  EXPECT_NE(applied.fErr.find("the earlier run has no split group country = 3"), std::string::npos)
      << applied.fErr;
}

// The three orders on the sample's occupation, against the order worked out
// from the CSV and the schema; the records carry the same codes.
TEST_F(KvoWorkflowTest, CodeOrders) {
  std::vector<std::string> appearance;
  for (const std::string& line : Lines(ReadFile(SAMPLE))) {
    const std::string value = Split(line)[4];
    if (value != "occupation" && std::find(appearance.begin(), appearance.end(), value) == appearance.end()) {
      appearance.push_back(value);
    }
  }
  std::vector<std::string> byValue = appearance;
  std::sort(byValue.begin(), byValue.end());
  std::vector<std::string> bySchema;
  const json schema = json::parse(ReadFile(SAMPLE_SCHEMA));
  for (const json& field : schema["fields"]) {
    if (field["name"] != "occupation") continue;
    for (const json& category : field["categories"]) bySchema.push_back(category["value"]);
  }
  ASSERT_NE(appearance, byValue) << "the data must tell the orders apart";
  ASSERT_NE(appearance, bySchema);

  const struct {
    const char* fOrder;
    std::vector<std::string> fExpected;
    std::vector<std::string> fExtra;
  } cases[] = {
      {"appearance", appearance, {}},
      {"value", byValue, {}},
      {"schema", bySchema, {}},
      {"value", byValue, {"--partition", "70,30"}},
      {"schema", bySchema, {"--partition", "70,30", "--split-by", "country"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.fOrder) + " " + Joined(c.fExtra));
    const std::string out = Path(std::string("order-") + c.fOrder + std::to_string(c.fExtra.size()));
    std::vector<std::string> args = {SAMPLE,     "--cat", "occupation", "--order", c.fOrder,
                                     "--format", "csv",   "--out",      out};
    args.insert(args.end(), c.fExtra.begin(), c.fExtra.end());
    KvoResult result = Prepare(args);
    ASSERT_EQ(result.fExitCode, 0) << result.fErr;
    const json summary = json::parse(ReadFile(out + "/summary.json"));
    EXPECT_EQ(summary["settings"]["order"], c.fOrder);
    for (size_t group = 0; group < summary["splits"].size(); ++group) {
      std::vector<std::string> values;
      for (const json& category : summary["splits"][group]["variables"][0]["categories"]) {
        values.push_back(category["value"]);
      }
      EXPECT_EQ(values, c.fExpected) << "group " << group;
    }
    // The records' codes, checked through the case number against the CSV.
    const std::vector<std::string> lines = Lines(ReadFile(SAMPLE));
    const std::string file = c.fExtra.empty()               ? "/all/records.csv"
                             : summary["splits"].size() > 1 ? "/split-1/training.csv"
                                                            : "/all/training.csv";
    const CsvRecords records = ReadCsvRecords(out + file);
    ASSERT_FALSE(records.fRows.empty());
    const size_t caseNumber = records.Column("Global Case Count");
    for (const std::vector<double>& record : records.fRows) {
      const std::string value = Split(lines[static_cast<size_t>(record[caseNumber])])[4];
      const auto code = std::find(c.fExpected.begin(), c.fExpected.end(), value) - c.fExpected.begin();
      ASSERT_EQ(record[0], static_cast<double>(code)) << value;
    }
  }
}

// Doubles that print differently in short and long forms go through every
// format; CSV and .npy give them back bit for bit, missing values as empty
// fields and NaN, also when sorted and with folds.
TEST_F(KvoWorkflowTest, RecordFormatsKeepEveryDouble) {
  const std::vector<std::string> numbers = {"1e-9",
                                            "0.30000000000000004",
                                            "0.1",
                                            "0.3333333333333333",
                                            "123456789.12345679",
                                            "-2.5e-308",
                                            "1e300",
                                            "",
                                            "-0",
                                            "42"};
  std::string csv = "g,x\n";
  for (size_t i = 0; i < numbers.size(); ++i) csv += std::string(i % 2 ? "b" : "a") + "," + numbers[i] + "\n";
  WriteFile(Path("doubles.csv"), csv);
  WriteFile(Path("doubles.schema.json"),
            R"({"fields": [{"name": "g", "type": "string", "constraints": {"maxLength": 1}},
                           {"name": "x", "type": "number"}]})");

  std::map<std::string, std::vector<std::vector<double>>> read;
  for (const std::string format : {"text", "csv", "npy"}) {
    SCOPED_TRACE(format);
    const std::string out = Path("doubles-" + format);
    KvoResult result = Prepare({Path("doubles.csv"), "--cat", "g", "--cont", "x", "--missing", "include",
                                "--format", format, "--out", out});
    ASSERT_EQ(result.fExitCode, 0) << result.fErr;
    const std::string ending = format == "text" ? "txt" : format;
    EXPECT_EQ(json::parse(ReadFile(out + "/summary.json"))["splits"][0]["partitions"][0]["file"],
              "all/records." + ending);
    if (format == "csv") {
      const CsvRecords records = ReadCsvRecords(out + "/all/records.csv");
      EXPECT_EQ(records.fHeader,
                (std::vector<std::string>{"g", "x", "Local Case Count", "Global Case Count"}));
      read[format] = records.fRows;
    } else if (format == "npy") {
      read[format] = ReadNpy(out + "/all/records.npy", 4);
    } else {
      EXPECT_EQ(Lines(ReadFile(out + "/all/records.txt")).size(), numbers.size());
    }
  }
  ASSERT_EQ(read["csv"].size(), numbers.size());
  ASSERT_EQ(read["npy"].size(), numbers.size());
  for (size_t i = 0; i < numbers.size(); ++i) {
    const double expected = numbers[i].empty() ? NAN : Number(numbers[i]);
    EXPECT_TRUE(SameDouble(read["csv"][i][1], expected))
        << numbers[i] << " read back as " << read["csv"][i][1];
    for (size_t s = 0; s < 4; ++s)
      EXPECT_TRUE(SameDouble(read["npy"][i][s], read["csv"][i][s])) << i << "," << s;
    EXPECT_EQ(read["csv"][i][0], static_cast<double>(i % 2)) << "a is code 0, b code 1";
  }

  // Sorting and folds work with every format: the training file comes out
  // sorted by x with its fold numbers, the same in CSV and .npy.
  std::map<std::string, std::vector<std::vector<double>>> training;
  for (const std::string format : {"csv", "npy"}) {
    const std::string out = Path("folds-" + format);
    KvoResult result = Prepare({SAMPLE, "--cat", "gender", "--cont", "income", "--partition", "70,30",
                                "--folds", "3", "--sort-by", "income", "--format", format, "--out", out});
    ASSERT_EQ(result.fExitCode, 0) << result.fErr;
    training[format] = format == "csv" ? ReadCsvRecords(out + "/all/training.csv").fRows
                                       : ReadNpy(out + "/all/training.npy", 6);
  }
  ASSERT_EQ(training["csv"].size(), training["npy"].size());
  ASSERT_GT(training["csv"].size(), 100u);
  for (size_t r = 0; r < training["csv"].size(); ++r) {
    for (size_t s = 0; s < 6; ++s) ASSERT_TRUE(SameDouble(training["csv"][r][s], training["npy"][r][s]));
    if (r > 0) {
      EXPECT_LE(training["csv"][r - 1][1], training["csv"][r][1]) << "sorted by income";
    }
    EXPECT_TRUE(training["csv"][r][3] >= 0 && training["csv"][r][3] < 3) << "a fold number";
  }
}

}  // namespace
}  // namespace kvo_test
