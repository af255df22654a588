// End-to-end runs of kvo on the ways data come in: schema defaults and the
// messages for schemas and cells the loader refuses, standard input, gzip
// files, quoted names in name lists, user-missing values in score, and how
// describe scales with the number of columns. Every run must leave its
// TMPDIR empty.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>

#include "support/KvoProcess.h"

namespace kvo_test {
namespace {

using nlohmann::json;

const std::string DATA = std::string(KVO_TEST_DATA_DIR) + "/kvo/";

class KvoInputsTest : public ::testing::Test {
 protected:
  KvoResult Run(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    KvoProcess process(fScratch, args);
    process.SetStdin(input);
    process.Start();
    KvoResult result = process.Wait();
    EXPECT_TRUE(result.fLeftInTmp.empty()) << "left in TMPDIR: " << Joined(result.fLeftInTmp);
    return result;
  }
  // Checks a run: for exit 0, the JSON it printed has `expected` at
  // `pointer`; otherwise one line on stderr that holds `expected` and names
  // none of the program's or libraries' insides.
  void Expect(const KvoResult& result, int exitCode, const std::string& pointer,
              const std::string& expected) {
    ASSERT_EQ(result.fExitCode, exitCode) << result.fErr;
    if (exitCode == 0) {
      EXPECT_EQ(json::parse(result.fOut).at(json::json_pointer(pointer)), json::parse(expected))
          << result.fOut;
      return;
    }
    EXPECT_NE(result.fErr.find(expected), std::string::npos) << result.fErr;
    EXPECT_EQ(std::count(result.fErr.begin(), result.fErr.end(), '\n'), 1) << result.fErr;
    for (const char* inside : {"json.exception", "AddVariable", "::", "what()"}) {
      EXPECT_EQ(result.fErr.find(inside), std::string::npos) << result.fErr;
    }
  }
  std::string Write(const std::string& name, const std::string& text) {
    WriteFile(fScratch / name, text);
    return fScratch / name;
  }
  // `text` gzip-compressed into `name`; only its first `keep` bytes when given.
  std::string WriteGzip(const std::string& name, const std::string& text, size_t keep = std::string::npos) {
    const std::string path = fScratch / name;
    gzFile file = gzopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    EXPECT_EQ(gzwrite(file, text.data(), static_cast<unsigned>(text.size())), static_cast<int>(text.size()));
    EXPECT_EQ(gzclose(file), Z_OK);
    if (keep != std::string::npos) std::filesystem::resize_file(path, keep);
    return path;
  }

  ScratchDirectory fScratch;
};

// Each schema describes data.csv (id, name); the run is `describe --json`
// unless it says otherwise.
TEST_F(KvoInputsTest, SchemaDefaultsAndMessages) {
  const std::string id = R"({"name": "id", "type": "integer"})";
  const struct {
    std::string fName;  // the name field, or a whole schema when it starts with {
    std::vector<std::string> fArgs;
    int fExit;
    std::string fPointer, fExpected;
    std::string fCsv = "id,name\n1,Ann\n2,NA\n3,\n4,Bo\n";
  } cases[] = {
      // A field without a type holds texts; its width comes from the data,
      // in which "NA" and the empty cell are the missing mark "".
      {R"({"name": "name"})", {}, 0, "/variables/1", R"({"index": 1, "name": "name", "label": "",
          "type": "string", "width": 3, "format": "A3", "measure": "nominal", "valueLabels": [],
          "userMissing": {"values": [""]}})"},
      // The mark is missing under prepare's default rules: 2 valid cases.
      {R"({"name": "name"})", {"prepare", "--cat", "name", "--json"}, 0, "/splits/0/valid", "2"},
      {R"({"name": "name"})",
       {"prepare", "--cat", "name", "--json", "--user-missing", "include"},
       0,
       "/splits/0/valid",
       "4"},
      // Without missing-value texts a string has no missing mark.
      {R"({"fields": [{"name": "id", "type": "integer"}, {"name": "name"}], "missingValues": []})",
       {"prepare", "--cat", "name", "--json"},
       0,
       "/splits/0/valid",
       "4"},
      // Numbers beyond the range of doubles, named with their field.
      {R"({"name": "name", "constraints": {"maxLength": 1e400}})",
       {},
       1,
       "",
       "schema.json: field 2 'name': constraints.maxLength: the number 1e400 is out of the range of numbers"},
      {R"({"userMissing": {"range": [-1e999, 1e999]}, "type": "number", "name": "name"})",
       {},
       1,
       "",
       "schema.json: field 2 'name': userMissing.range[0]: the number -1e999 is out of the range of numbers"},
      {R"({"fields": [{"name": "id"}], "x": [1e400]})",
       {},
       1,
       "",
       "schema.json: x[0]: the number 1e400 is out of the range of numbers"},
      {R"({"name": "name", "constraints": {"maxLength": 99999999999999999999}})",
       {},
       1,
       "",
       "schema.json: field 2 'name': maxLength 1e+20 is outside 1 to 32767"},
      {R"({"name": "name", "constraints": {"maxLength": 18446744073709551615}})",
       {},
       1,
       "",
       "schema.json: field 2 'name': maxLength 18446744073709551615 is outside 1 to 32767"},
      {R"({"name": "id", "type": "number", "categories": [{"value": -1.7976931348623157e308}]})",
       {},
       1,
       "",
       "schema.json: field 2 'id': the category value -1.7976931348623157e+308 equals the system-missing "
       "value"},
      {R"({"name": "name", "type": "number", "userMissing": {"range": [-1.7976931348623157e308, 0]}})",
       {},
       1,
       "",
       "the user-missing range's low end -1.7976931348623157e+308 equals the system-missing value"},
      // A name the host refuses is named with the field, not with a call.
      {R"({"name": "na\tme"})",
       {},
       1,
       "",
       "schema.json: field 2 'na\\tme': the name contains a control character",
       "id,na\tme\n1,x\n"},
      // Fields that cannot hold the missing mark refuse a missing cell.
      {R"({"fields": [{"name": "id", "type": "integer"}, {"name": "name", "constraints": {"maxLength": 1}}],
          "missingValues": ["NA"]})",
       {},
       1,
       "",
       "data.csv: line 3, column 2 (name): \"NA\" is a missing-value text, but the shortest "
       "missing-value text is wider than the field (1 byte)",
       "id,name\n1,A\n2,NA\n"},
      {R"({"name": "name", "userMissing": {"values": ["x", "y", "z"]}})",
       {},
       1,
       "",
       "data.csv: line 3, column 2 (name): \"NA\" is a missing-value text, but the field declares three "
       "user-missing values, which leave no room for the missing-value mark \"\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fName);
    const std::string schema =
        c.fName.find("\"fields\"") != std::string::npos
            ? c.fName
            : R"({"fields": [)" + id + ", " + c.fName + R"(], "missingValues": ["", "NA"]})";
    std::vector<std::string> args =
        c.fArgs.empty() ? std::vector<std::string>{"describe", "--json"} : c.fArgs;
    args.insert(args.begin() + 1, {Write("data.csv", c.fCsv), "--schema", Write("schema.json", schema)});
    if (args[0] == "prepare") args.push_back("--quiet");
    Expect(Run(args), c.fExit, c.fPointer, c.fExpected);
  }
}

TEST_F(KvoInputsTest, StandardInputGzipAndQuotedNames) {
  // A string without maxLength (its width from the one read of the data), a
  // name with a comma and one with a quote.
  const std::string csv = "id,name,\"a,b\",\"say \"\"hi\"\"\"\n1,Ann,1,2\n2,Cecilia,1,3\n";
  const std::string schema =
      R"({"fields": [{"name": "id", "type": "integer"}, {"name": "name"},
                     {"name": "a,b", "type": "number"}, {"name": "say \"hi\"", "type": "number"}]})";
  const std::string plain = Write("data.csv", csv);
  const std::string schemaPath = Write("data.schema.json", schema);
  const std::string gzip = WriteGzip("data.csv.gz", csv);
  const std::string cut = WriteGzip("cut.csv.gz", csv + std::string(4000, '\n'), 40);
  const std::string width = "/variables/1/width";
  const struct {
    std::vector<std::string> fArgs;
    std::string fInput;
    int fExit;
    std::string fPointer, fExpected;
  } cases[] = {
      {{"describe", "-", "--schema", schemaPath, "--json"}, plain, 0, width, "7"},
      {{"describe", "-", "--schema", schemaPath, "--json"}, plain, 0, "/file", "\"standard input\""},
      {{"describe", "-", "--json"}, plain, 2, "", "the data come from standard input (-): give their schema"},
      {{"prepare", "-", "--schema", schemaPath, "--cont", "a,b", "--json"},
       plain,
       2,
       "",
       "there is no variable 'a' in"},
      // The schema beside data.csv.gz is data.schema.json.
      {{"describe", gzip, "--json"}, "", 0, width, "7"},
      {{"describe", cut, "--schema", schemaPath},
       "",
       1,
       "",
       "cut.csv.gz: cannot decompress the data near line"},
      {{"prepare", gzip, "--cont", R"("a,b", "say ""hi""")", "--json"},
       "",
       0,
       "/record/1/name",
       "\"say \\\"hi\\\"\""},
      {{"prepare", "-", "--schema", schemaPath, "--cont", R"("a,b",id)", "--json"},
       plain,
       0,
       "/record/0/name",
       "\"a,b\""},
      {{"score", "-", "--schema", schemaPath, "--model", DATA + "model.xml"},
       plain,
       1,
       "",
       "the model input 'age' is not a variable of standard input"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.fArgs));
    std::vector<std::string> args = c.fArgs;
    if (args[0] == "prepare") args.push_back("--quiet");
    Expect(Run(args, c.fInput.empty() ? "/dev/null" : c.fInput), c.fExit, c.fPointer, c.fExpected);
  }
}

// people.csv: case 3's income -99 is user-missing; the model's high is
// income > 4000. Excluded (the default, as prepare does), it reaches the
// model as missing.
TEST_F(KvoInputsTest, ScoreHandsUserMissingValuesAsPrepareDoes) {
  const std::string model = DATA + "model.xml";
  const struct {
    std::vector<std::string> fOption;
    std::string fCase3;
  } cases[] = {{{}, "\n3,51,,1\n"},
               {{"--user-missing", "exclude"}, "\n3,51,,1\n"},
               {{"--user-missing", "include"}, "\n3,51,0,1\n"}};
  for (const auto& c : cases) {
    std::vector<std::string> args = {"score", DATA + "people.csv", "--model", model, "--quiet"};
    args.insert(args.end(), c.fOption.begin(), c.fOption.end());
    KvoResult result = Run(args);
    ASSERT_EQ(result.fExitCode, 0) << result.fErr;
    EXPECT_NE(result.fOut.find(c.fCase3), std::string::npos) << Joined(c.fOption) << "\n" << result.fOut;
  }
  Expect(Run({"score", DATA + "people.csv", "--model", model, "--user-missing", "some"}), 2, "",
         "--user-missing: 'some' is not exclude or include");
}

// describe of 3 rows must take time in proportion to the columns: ten times
// the columns may take at most 20 times as long (a cost per column that grows
// with the columns would take about 100 times). Best of three runs each.
TEST_F(KvoInputsTest, DescribeScalesLinearlyWithTheColumns) {
  auto seconds = [&](int columns) {
    std::string header, row, fields;
    for (int i = 0; i < columns; ++i) {
      const std::string name = "v" + std::to_string(i);
      header += (i == 0 ? "" : ",") + name;
      row += (i == 0 ? "" : ",") + std::to_string(i % 7);
      fields += std::string(i == 0 ? "" : ",") + R"({"name": ")" + name + R"(", "type": "number"})";
    }
    const std::string base = "wide" + std::to_string(columns);
    const std::string data = Write(base + ".csv", header + "\n" + row + "\n" + row + "\n" + row + "\n");
    Write(base + ".schema.json", R"({"fields": [)" + fields + "]}");
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
      const auto start = std::chrono::steady_clock::now();
      KvoResult result = Run({"describe", data});
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      EXPECT_EQ(result.fExitCode, 0) << result.fErr;
    }
    return best;
  };
  const double narrow = seconds(1000);
  const double wide = seconds(10000);
  EXPECT_LT(wide, 20 * narrow) << "1,000 columns: " << narrow << " s, 10,000 columns: " << wide << " s";
}

}  // namespace
}  // namespace kvo_test
