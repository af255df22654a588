// Loading CSV files and their JSON schemas into the in-memory data source:
// the file dialects, the schema's declarations, values read back from the
// store, and the place named by every kind of error. (The hostile-input
// corpus checks that each bad file is refused naming the file; here the
// messages are checked word for word.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "standin/CsvLoader.h"
#include "standin/HostControl.h"
#include "support/AllocationCounter.h"
#include "support/TempDirWatch.h"

namespace standin {
namespace {

const double SYSMIS = VORM_SYSMIS;

std::string DataPath(const std::string& name) { return std::string(KVO_TEST_DATA_DIR) + "/csv/" + name; }

// A file under the temporary directory, removed when the object goes.
class TempFile {
 public:
  TempFile(const std::string& name, const std::string& content) : fPath(TempDirectory() + "/" + name) {
    std::ofstream(fPath, std::ios::binary) << content;
  }
  ~TempFile() { std::remove(fPath.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
};

// One stored cell: a number, or a string with its blank padding.
using Cell = std::variant<double, std::string>;
using Rows = std::vector<std::vector<Cell>>;

class CsvLoaderTest : public kvo_test::TempDirCheckedTest {
 protected:
  std::unique_ptr<MemoryDataSource> Load(const std::string& csv, const std::string& schema,
                                         const CsvOptions& options = CsvOptions()) {
    fError.clear();
    return LoadCsvDataSource(csv, schema, options, fError);
  }
  std::unique_ptr<MemoryDataSource> LoadInline(const std::string& csv, const std::string& schemaJson,
                                               const CsvOptions& options = CsvOptions()) {
    fError.clear();
    CsvSchema schema;
    if (!ParseSchema(schemaJson, "inline", schema, fError)) return nullptr;
    TempFile file("inline.csv", csv);
    return LoadCsvDataSource(file.Path(), schema, options, fError);
  }
  // The error of loading inline text that must fail ("" when it loaded).
  std::string InlineError(const std::string& csv, const std::string& schemaJson) {
    auto data = LoadInline(csv, schemaJson);
    return data ? std::string() : fError;
  }
  static std::string InlinePath() { return TempDirectory() + "/inline.csv"; }

  // Every stored cell, variables in dictionary order.
  static Rows Stored(const MemoryDataSource& data) {
    Rows rows(data.NumCases());
    for (size_t r = 0; r < rows.size(); ++r) {
      for (int v = 0; v < data.GetNumVariables(); ++v) {
        const OBS* cells = data.Row(r) + data.CellOffset(v);
        const short width = data.GetVariable(v)->GetType();
        if (width == 0) {
          rows[r].emplace_back(cells->num);
        } else {
          rows[r].emplace_back(std::string(cells->str, static_cast<size_t>(width)));
        }
      }
    }
    return rows;
  }
  // The expected rows with each string blank padded to its variable's width.
  static Rows Padded(const MemoryDataSource& data, Rows rows) {
    for (auto& row : rows) {
      for (size_t v = 0; v < row.size() && v < static_cast<size_t>(data.GetNumVariables()); ++v) {
        if (auto* text = std::get_if<std::string>(&row[v])) {
          text->resize(static_cast<size_t>(data.GetVariable(static_cast<int>(v))->GetType()), ' ');
        }
      }
    }
    return rows;
  }
  static void ExpectRows(const MemoryDataSource& data, const Rows& expected) {
    EXPECT_EQ(Stored(data), Padded(data, expected));
  }

  std::string fError;
};

// The content of people.csv: name, city, age, income, member, note.
Rows PeopleRows() {
  return {
      {"Smith, Anna", "Oslo", 34.0, 52000.5, 1.0, "She said \"hi\""},
      {"Bob", "New\nYork", 41.0, SYSMIS, 0.0, "plain"},
      {"\xC3\x89lodie", "Z\xC3\xBCrich", 29.0, 10000.0, 1.0, "line one\nline two"},
      {"Dan", "Rio de Janeiro", -3.0, -0.25, 0.0, "6\" tall"},
      {"", "Lima", 0.0, 7.0, 0.0, ""},
  };
}

TEST_F(CsvLoaderTest, ReadsQuotedFieldsLineBreaksAndWidths) {
  auto data = Load(DataPath("people.csv"), DataPath("people.schema.json"));
  ASSERT_NE(data, nullptr) << fError;
  ASSERT_EQ(data->GetNumVariables(), 6);
  EXPECT_STREQ(data->GetVariable(5)->GetName(), "note");
  // Widths: maxLength 20 and 30; city from its longest value, "Rio de Janeiro".
  EXPECT_EQ(data->GetVariable(0)->GetType(), 20);
  EXPECT_EQ(data->GetVariable(1)->GetType(), 14);
  EXPECT_EQ(data->GetVariable(5)->GetType(), 30);
  // Formats: A<width> by default, the given A30, F10.2, and F8.0 for integer and boolean.
  EXPECT_EQ(data->GetVariable(1)->GetFormat(), VORM_Format(VORM_Format::A, 14, 0));
  EXPECT_EQ(data->GetVariable(5)->GetFormat(), VORM_Format(VORM_Format::A, 30, 0));
  EXPECT_EQ(data->GetVariable(2)->GetFormat(), VORM_Format(VORM_Format::F, 8, 0));
  EXPECT_EQ(data->GetVariable(3)->GetFormat(), VORM_Format(VORM_Format::F, 10, 2));
  EXPECT_EQ(data->GetVariable(4)->GetFormat(), VORM_Format(VORM_Format::F, 8, 0));
  EXPECT_STREQ(data->GetVariable(0)->GetLabel(), "Full name");
  // Strings are nominal, numbers without categories scale.
  EXPECT_TRUE(data->IsCategorical(1));
  EXPECT_FALSE(data->IsCategorical(2));
  EXPECT_FALSE(data->IsCategorical(4));
  ExpectRows(*data, PeopleRows());

  // Case numbers are the positions among the data rows, whatever lines they span.
  std::unique_ptr<VORM_InputCaseIterator> it(data->NewCaseIterator(0));
  for (int64_t expected = 1; expected <= 5; ++expected) {
    ASSERT_NE(it->NextCase(), 0);
    EXPECT_EQ(it->GetCaseNumber(), expected);
  }
  EXPECT_EQ(it->NextCase(), 0);
  EXPECT_EQ(CountCsvRows(DataPath("people.csv"), CsvOptions(), fError), 5);
}

// (Other delimiters, a byte-order mark, CR and CRLF line ends and
// ISO-8859-1 text are read by the CSV fuzzer's replay against its reference
// reader.) Read as UTF-8, ISO-8859-1 bytes are not text: refused where the
// first one is read.
TEST_F(CsvLoaderTest, RefusesTextThatIsNotInTheFilesEncoding) {
  EXPECT_EQ(Load(DataPath("people_latin1.csv"), DataPath("people.schema.json")), nullptr);
  EXPECT_EQ(fError, DataPath("people_latin1.csv") +
                        ": line 5, column 1 (name): \"\\xC9lodie\" is not valid text in the encoding UTF-8 or "
                        "cannot be written in the host encoding UTF-8");
  CsvOptions latin1;
  latin1.fEncoding = "ISO-8859-1";
  auto converted = Load(DataPath("people_latin1.csv"), DataPath("people.schema.json"), latin1);
  ASSERT_NE(converted, nullptr) << fError;
  ExpectRows(*converted, PeopleRows());
}

TEST_F(CsvLoaderTest, DeclaresUserMissingLabelsAndFormats) {
  auto data = Load(DataPath("survey.csv"), DataPath("survey.schema.json"));
  ASSERT_NE(data, nullptr) << fError;
  // Schema order, whatever the header's order and letter case; the extra and
  // the unnamed column are not read.
  ASSERT_EQ(data->GetNumVariables(), 9);
  const char* names[] = {"id", "q1", "q2", "q3", "code", "flag", "score", "comment", "empty_text"};
  for (int i = 0; i < 9; ++i) EXPECT_STREQ(data->GetVariable(i)->GetName(), names[i]);

  EXPECT_EQ(data->GetVariable(2)->GetFormat(), VORM_Format(VORM_Format::E, 10, 3));
  EXPECT_EQ(data->GetVariable(4)->GetType(), 3);
  // The comment's width covers its longest code, "unknown value", beyond the data's "  lead".
  EXPECT_EQ(data->GetVariable(7)->GetType(), 13);
  EXPECT_EQ(data->GetVariable(8)->GetType(), 1);  // only empty values: width 1
  // Measures: categories make q1 nominal; q3 is declared ordinal; the boolean is scale.
  EXPECT_TRUE(data->IsCategorical(1));
  EXPECT_TRUE(data->IsCategorical(3));
  EXPECT_FALSE(data->IsCategorical(5));
  EXPECT_FALSE(data->IsCategorical(6));
  EXPECT_STREQ(data->GetVariable(5)->GetLabel(), "Flag set");
  EXPECT_EQ(data->GetVariable(2)->GetLabel(), nullptr);

  const OBS *m1, *m2, *m3;
  ASSERT_EQ(data->GetVariable(1)->GetMissingValues(m1, m2, m3), 1);
  EXPECT_EQ(m1->num, 9.0);
  ASSERT_EQ(data->GetVariable(2)->GetMissingValues(m1, m2, m3), VORM_MISSING_RANGE_AND_ONE);
  EXPECT_EQ(std::vector<double>({m1->num, m2->num, m3->num}), std::vector<double>({-9.0, -7.0, -1.0}));
  ASSERT_EQ(data->GetVariable(3)->GetMissingValues(m1, m2, m3), VORM_MISSING_RANGE);
  EXPECT_EQ(std::vector<double>({m1->num, m2->num}), std::vector<double>({90.0, 99.0}));
  // A string field's user-missing values, then the missing mark "" (the
  // shortest missing-value text) that its empty cells hold.
  ASSERT_EQ(data->GetVariable(4)->GetMissingValues(m1, m2, m3), 3);
  EXPECT_EQ(std::string(m1->str, 3) + std::string(m2->str, 3) + std::string(m3->str, 3), "XX NA    ");
  ASSERT_EQ(data->GetVariable(7)->GetMissingValues(m1, m2, m3), 2);
  EXPECT_EQ(std::string(m1->str, 13) + std::string(m2->str, 13), "refused!                  ");

  OBS value;
  value.num = 9.0;
  EXPECT_STREQ(data->GetVariable(1)->GetValueLabels().Find(&value), "Refused");
  value.num = -8.0;
  EXPECT_TRUE(data->GetVariable(2)->IsUserMissingValue(&value));
  std::memcpy(value.str, "AB      ", 8);
  EXPECT_STREQ(data->GetVariable(4)->GetValueLabels().Find(&value), "Alpha Beta");
  OBS comment[2];
  std::memcpy(comment[0].str, "unknown value   ", 16);
  EXPECT_STREQ(data->GetVariable(7)->GetValueLabels().Find(comment), "Not known");

  // Missing texts "", "NA" and "." are system-missing in numeric columns;
  // in string columns they become the mark "" (user-missing), but code keeps
  // its own user-missing "NA". Blanks around numbers are dropped, trailing
  // blanks of strings too.
  ExpectRows(*data, {
                        {1.0, 1.0, 2.5, 50.0, "AB", 1.0, 1.5, "ok", ""},
                        {2.0, 9.0, -8.0, 95.0, "XX", 0.0, SYSMIS, "", ""},
                        {3.0, 2.0, -1.0, SYSMIS, "NA", 0.0, 7.0, "  lead", ""},
                        {4.0, SYSMIS, 1000.0, 100.0, "C", 1.0, -0.225, "trail", ""},
                        {5.0, 2.0, 3.0, 0.0, "", 1.0, 0.5, "x", ""},
                    });
}

// n number, i integer, b boolean, s string of width 5.
const char* const NIBS_SCHEMA =
    R"({"fields": [{"name": "n", "type": "number"}, {"name": "i", "type": "integer"},
    {"name": "b", "type": "boolean"}, {"name": "s", "type": "string", "constraints": {"maxLength": 5}}]})";

TEST_F(CsvLoaderTest, ParsesNumbersStrictly) {
  auto data = LoadInline(
      "n,i,b,s\n"
      " 12 ,+5,TRUE,\n"
      "-0.5,2.0,False,\n"
      ".5,-7,1,\n"
      "5.,9007199254740991,0,\n"
      "1E3,0,,\n"
      "\t,  , ,\n",
      NIBS_SCHEMA);
  ASSERT_NE(data, nullptr) << fError;
  ExpectRows(*data, {
                        {12.0, 5.0, 1.0, ""},
                        {-0.5, 2.0, 0.0, ""},
                        {0.5, -7.0, 1.0, ""},
                        {5.0, 9007199254740991.0, 0.0, ""},
                        {1000.0, 0.0, SYSMIS, ""},
                        {SYSMIS, SYSMIS, SYSMIS, ""},
                    });
}

TEST_F(CsvLoaderTest, RefusesBadDataNamingLineAndColumn) {
  struct Case {
    const char* fCsv;
    const char* fMessage;
  };
  const Case cases[] = {
      {"n,i,b,s\ninf,1,1,x\n", ": line 2, column 1 (n): \"inf\" is not a number"},
      {"n,i,b,s\nnan,1,1,x\n", ": line 2, column 1 (n): \"nan\" is not a number"},
      {"n,i,b,s\n0x10,1,1,x\n", ": line 2, column 1 (n): \"0x10\" is not a number"},
      {"n,i,b,s\n1 2,1,1,x\n", ": line 2, column 1 (n): \"1 2\" is not a number"},
      {"n,i,b,s\n+-1,1,1,x\n", ": line 2, column 1 (n): \"+-1\" is not a number"},
      {"n,i,b,s\n--1,1,1,x\n", ": line 2, column 1 (n): \"--1\" is not a number"},
      {"n,i,b,s\n1e400,1,1,x\n", ": line 2, column 1 (n): \"1e400\" is out of the range of numbers"},
      {"n,i,b,s\n-1.7976931348623157e308,1,1,x\n",
       ": line 2, column 1 (n): \"-1.7976931348623157e308\" equals the system-missing value"},
      {"n,i,b,s\n1,1.5,1,x\n",
       ": line 2, column 2 (i): \"1.5\" is not a whole number (the field's type is integer)"},
      {"n,i,b,s\n1,1.50,1,x\n",
       ": line 2, column 2 (i): \"1.50\" is not a whole number (the field's type is integer)"},
      {"n,i,b,s\n1,9007199254740994,1,x\n",
       ": line 2, column 2 (i): \"9007199254740994\" is too large to be held exactly as a whole number"},
      // 2^53 + 1 reads as 2^53: neither can be told apart.
      {"n,i,b,s\n1,9007199254740993,1,x\n",
       ": line 2, column 2 (i): \"9007199254740993\" is too large to be held exactly as a whole number"},
      {"n,i,b,s\n1,-9007199254740992,1,x\n",
       ": line 2, column 2 (i): \"-9007199254740992\" is too large to be held exactly as a whole number"},
      {"n,i,b,s\n1,NA,1,x\n", ": line 2, column 2 (i): \"NA\" is not a number"},
      {"n,i,b,s\n1,1,yes,x\n", ": line 2, column 3 (b): \"yes\" is not a boolean (true, false, 1 or 0)"},
      {"n,i,b,s\n1,1,2,x\n", ": line 2, column 3 (b): \"2\" is not a boolean (true, false, 1 or 0)"},
      {"n,i,b,s\n1,1,1,abcdef\n",
       ": line 2, column 4 (s): \"abcdef\" (6 bytes) is longer than the field's width 5"},
      {"n,i,b,s\n1,1,1,x\n1,1,1,x,y\n", ": line 3: the row has 5 fields, the header has 4"},
      {"n,i,b,s\n1,1,1\n", ": line 2: the row has 3 fields, the header has 4"},
      {"n,i,b\n1,1,1\n", ": line 1: the header has no column for the schema field 's'"},
      {"n,i,b,s,N\n1,1,1,x,2\n", ": line 1, column 5 (N): the column name repeats column 1 (n)"},
      {"n,i,b,s\n1,1,1,x\n1,1,1,\"abc\n1,1,1,x\n",
       ": line 3, column 4 (s): the quoted field that starts here is not closed"},
      // An error in a later row names that row's first line.
      {"n,i,b,s\n1,1,1,\"a\nb\"\n\n1,1,1,\"x\"y\n",
       ": line 5, column 4 (s): unexpected text after the closing quote of a quoted field"},
      {"\xEF\xBB\xBF\n\r\n", ": the file is empty (it has no header row)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fCsv);
    EXPECT_EQ(InlineError(c.fCsv, NIBS_SCHEMA), InlinePath() + c.fMessage);
  }
  // A NUL byte would end a text early wherever it is printed.
  EXPECT_EQ(InlineError(std::string("n,i,b,s\n1,1,1,ab\0c\n", 19), NIBS_SCHEMA),
            InlinePath() + ": line 2, column 4 (s): the text contains a NUL byte (byte 3)");
  // A long bad cell is shown cut short.
  EXPECT_EQ(InlineError("n,i,b,s\n" + std::string(50, '7') + "x,1,1,x\n", NIBS_SCHEMA),
            InlinePath() + ": line 2, column 1 (n): \"" + std::string(40, '7') + "...\" is not a number");
  EXPECT_EQ(Load(DataPath("no_such_file.csv"), DataPath("people.schema.json")), nullptr);
  EXPECT_EQ(fError, DataPath("no_such_file.csv") + ": cannot open the data file: No such file or directory");
  TempFile ragged("ragged.csv", "a,b\n1,2,3\n");
  EXPECT_EQ(CountCsvRows(ragged.Path(), CsvOptions(), fError), -1);
  EXPECT_EQ(fError, ragged.Path() + ": line 2: the row has 3 fields, the header has 2");
}

TEST_F(CsvLoaderTest, RejectsInvalidSchemaDeclarations) {
  struct Case {
    const char* fJson;
    const char* fMessage;
  };
  const Case cases[] = {
      {"[1, 2]", "inline: the schema must be a JSON object with a \"fields\" list"},
      {"{}", "inline: the schema has no \"fields\" list"},
      {R"({"fields": []})", "inline: the \"fields\" list is empty"},
      {R"({"fields": [7]})", "inline: field 1: a field must be an object"},
      {R"({"fields": [{"type": "number"}]})", "inline: field 1: the field has no name"},
      {R"({"fields": [{"name": "", "type": "number"}]})", "inline: field 1: the name is empty"},
      {R"({"fields": [{"name": "a", "type": "numeric"}]})",
       "inline: field 1 'a': unknown type \"numeric\" (the types are number, integer, string and boolean)"},
      {R"({"fields": [{"name": "a", "type": "integer", "measure": "interval"}]})",
       "inline: field 1 'a': unknown measure \"interval\" (the measures are nominal, ordinal and scale)"},
      {R"({"fields": [{"name": "a", "type": "number"}, {"name": "A", "type": "string"}]})",
       "inline: field 2 'A': the name repeats field 1 'a'"},
      {R"({"fields": [{"name": "a", "type": "number", "constraints": {"maxLength": 4}}]})",
       "inline: field 1 'a': maxLength applies to string fields only"},
      {R"({"fields": [{"name": "s", "type": "string", "constraints": {"maxLength": 0}}]})",
       "inline: field 1 's': maxLength 0 is outside 1 to 32767"},
      {R"({"fields": [{"name": "s", "type": "string", "constraints": {"maxLength": 2.5}}]})",
       "inline: field 1 's': maxLength must be a whole number"},
      {R"({"fields": [{"name": "a", "type": "number", "userMissing": {"values": [1, 2, 3, 4]}}]})",
       "inline: field 1 'a': more than three user-missing values (4)"},
      {R"({"fields": [{"name": "a", "type": "number", "userMissing": {"range": [5, 1]}}]})",
       "inline: field 1 'a': the user-missing range's low end 5 is above its high end"},
      {R"({"fields": [{"name": "a", "type": "number", "userMissing": {"range": [1]}}]})",
       "inline: field 1 'a': a user-missing range must be a list of two numbers [low, high]"},
      {R"({"fields": [{"name": "s", "type": "string", "userMissing": {"range": [1, 5]}}]})",
       "inline: field 1 's': a user-missing range needs a numeric field"},
      {R"({"fields": [{"name": "a", "type": "number", "userMissing": {"values": [1], "range": [1, 2]}}]})",
       "inline: field 1 'a': userMissing takes either values or a range (with an optional value), not both"},
      {R"({"fields": [{"name": "a", "type": "number", "userMissing": {"values": ["x"]}}]})",
       "inline: field 1 'a': a user-missing value must be a number for a numeric field"},
      {R"({"fields": [{"name": "s", "type": "string", "constraints": {"maxLength": 2},
                       "userMissing": {"values": ["abc"]}}]})",
       "inline: field 1 's': a user-missing value \"abc\" is longer than the field's width 2"},
      {R"({"fields": [{"name": "s", "type": "string", "categories": [{"value": 1, "label": "x"}]}]})",
       "inline: field 1 's': the category value must be a text for a string field"},
      {R"({"fields": [{"name": "a", "type": "integer", "categories": [{"value": 1}, {"value": 1.0}]}]})",
       "inline: field 1 'a': the category value 1.0 appears twice"},
      {R"({"fields": [{"name": "a", "type": "number", "printFormat": "A8"}]})",
       "inline: field 1 'a': the string format A8 does not suit a numeric field"},
      {R"({"fields": [{"name": "s", "type": "string", "printFormat": "F8.2"}]})",
       "inline: field 1 's': the numeric format F8.2 does not suit a string field"},
      {R"({"fields": [{"name": "a", "type": "number", "printFormat": "X8.2"}]})",
       "inline: field 1 'a': invalid print format \"X8.2\" (the format types are F, E and A)"},
      {R"({"fields": [{"name": "a", "type": "number", "printFormat": "F8.8"}]})",
       "inline: field 1 'a': invalid print format \"F8.8\" (an F format is 1 to 40 wide, with fewer decimals "
       "than its width)"},
      {R"({"fields": [{"name": "a", "type": "number", "printFormat": "E7.2"}]})",
       "inline: field 1 'a': invalid print format \"E7.2\" (an E format is 6 to 40 wide, with at most width "
       "- 6 decimals)"},
      {R"({"fields": [{"name": "a", "type": "number", "printFormat": "F8."}]})",
       "inline: field 1 'a': invalid print format \"F8.\" (no digits after the point)"},
      {R"({"fields": [{"name": "s", "type": "string", "printFormat": "A8.1"}]})",
       "inline: field 1 's': invalid print format \"A8.1\" (an A format has no decimals)"},
      // A string prints with exactly its own bytes: a wider format would read
      // past the value, a narrower one cut it.
      {R"({"fields": [{"name": "s", "type": "string", "constraints": {"maxLength": 3}, "printFormat": "A20"}]})",
       "inline: field 1 's': the print format A20 is not as wide as the field (maxLength 3; the format "
       "must be A3)"},
      {R"({"fields": [{"name": "s", "type": "string", "constraints": {"maxLength": 3}, "printFormat": "a2"}]})",
       "inline: field 1 's': the print format a2 is not as wide as the field (maxLength 3; the format "
       "must be A3)"},
      {R"({"fields": [{"name": "a", "type": "number"}], "missingValues": [""," ", 0]})",
       "inline: missingValues must be a list of texts, not 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fJson);
    CsvSchema schema;
    std::string error;
    EXPECT_FALSE(ParseSchema(c.fJson, "inline", schema, error));
    EXPECT_EQ(error, c.fMessage);
    EXPECT_TRUE(schema.fvFields.empty());
  }
  // Schema files: one that cannot be opened; invalid JSON, at the stray '}'
  // after the comma on line 3.
  EXPECT_EQ(Load(DataPath("people.csv"), DataPath("no_such.schema.json")), nullptr);
  EXPECT_EQ(fError, DataPath("no_such.schema.json") + ": cannot open the schema file");
  EXPECT_EQ(Load(DataPath("people.csv"), DataPath("bad_json.schema.json")), nullptr);
  EXPECT_EQ(fError.rfind(DataPath("bad_json.schema.json") + ": invalid JSON at line 3, column 38: ", 0), 0u)
      << fError;
  // A name the host refuses (a control character; blanks are fine) is
  // reported with the schema field.
  EXPECT_EQ(LoadInline("bad\tname\n1\n", R"({"fields": [{"name": "bad\tname", "type": "number"}]})"),
            nullptr);
  EXPECT_EQ(fError.rfind("schema: field 1 'bad\tname': ", 0), 0u) << fError;
  // Without maxLength the data give the string's width, and the format is
  // checked against it.
  const std::string noWidth = R"({"fields": [{"name": "s", "type": "string", "printFormat": "A20"}]})";
  EXPECT_EQ(LoadInline("s\nabc\nx\n", noWidth), nullptr);
  EXPECT_EQ(fError,
            "schema: field 1 's': the print format A20 is not as wide as the field, whose longest value in " +
                InlinePath() + " has 3 bytes (give maxLength 20 or the format A3)");
  EXPECT_NE(LoadInline("s\nabcdefghijklmnopqrst\n", noWidth), nullptr) << fError;

  // Valid declarations: at most three values, booleans taking true/false,
  // format and measure without regard to case.
  CsvSchema schema;
  std::string error;
  ASSERT_TRUE(ParseSchema(R"({"fields": [
      {"name": "a", "type": "number", "userMissing": {"values": [1, 2, 3]}},
      {"name": "b", "type": "boolean", "categories": [{"value": true, "label": "Yes"}, {"value": 0, "label": "No"}]},
      {"name": "c", "type": "string", "constraints": {"maxLength": 10}, "printFormat": "a10", "measure": "Ordinal"}]})",
                          "inline", schema, error))
      << error;
  ASSERT_EQ(schema.fvFields.size(), 3u);
  EXPECT_EQ(schema.fvFields[0].fSpec.fMissingNumbers, (std::vector<double>{1, 2, 3}));
  ASSERT_EQ(schema.fvFields[1].fSpec.fNumericLabels.size(), 2u);
  EXPECT_EQ(schema.fvFields[1].fSpec.fNumericLabels[0].first, 1.0);
  EXPECT_EQ(schema.fvFields[1].fSpec.fMeasure, Measure::Nominal);
  EXPECT_EQ(schema.fvFields[2].fSpec.fFormat, VORM_Format(VORM_Format::A, 10, 0));
  EXPECT_EQ(schema.fvFields[2].fSpec.fMeasure, Measure::Ordinal);
  EXPECT_EQ(schema.fvMissingTexts, (std::vector<std::string>{""}));
}

TEST_F(CsvLoaderTest, HandlesLineEndsEmptyLinesAndHeaderOnlyFiles) {
  const std::string schema =
      R"({"fields": [{"name": "a", "type": "integer"}, {"name": "b", "type": "string"}]})";
  // Empty lines are skipped and not counted as rows; a lone CR ends a line;
  // the last line needs no line end; a delimiter at the very end leaves an empty field.
  auto data = LoadInline("a,b\n\n1,x\r\n\r\n2,\"y\r\"\r3,z\n\n4,", schema);
  ASSERT_NE(data, nullptr) << fError;
  ExpectRows(*data, {{1.0, "x"}, {2.0, "y\r"}, {3.0, "z"}, {4.0, ""}});
  EXPECT_EQ(data->GetVariable(1)->GetType(), 2);

  // Only a header: no cases, the dictionary is there, strings 1 wide.
  data = LoadInline(
      "\xEF\xBB\xBF"
      "A,B\n",
      schema);
  ASSERT_NE(data, nullptr) << fError;
  EXPECT_EQ(data->NumCases(), 0u);
  EXPECT_EQ(data->GetVariable(1)->GetType(), 1);

  // A quoted field closed at the very end; a quoted header name, and names
  // matched without regard to case.
  data = LoadInline("a,b\n1,\"x\"\"\"", schema);
  ASSERT_NE(data, nullptr) << fError;
  ExpectRows(*data, {{1.0, "x\""}});
  data = LoadInline("\"B\",\"a\"\nq,7\n", schema);
  ASSERT_NE(data, nullptr) << fError;
  ExpectRows(*data, {{7.0, "q"}});
  // The delimiter cannot be a quote.
  CsvOptions quote;
  quote.fDelimiter = '"';
  EXPECT_EQ(LoadInline("a,b\n", schema, quote), nullptr);
  EXPECT_EQ(fError, InlinePath() + ": the delimiter cannot be a quote, a line end or NUL");
}

TEST_F(CsvLoaderTest, ConvertsEncodingsAndRejectsUnusableOnes) {
  const std::string schema = R"({"fields": [{"name": "s", "type": "string"}, {"name": "t", "type": "string",
      "constraints": {"maxLength": 6}, "categories": [{"value": "caf\u00e9", "label": "Caf\u00e9"}]}]})";
  // With a single-byte host encoding, UTF-8 text and the schema's texts are converted to it.
  SetHostEncoding("ISO-8859-1");
  auto data = LoadInline("s,t\nZ\xC3\xBCrich,caf\xC3\xA9\n", schema);
  const std::string error = InlineError("s,t\nx,\xE2\x82\xAC\n", schema);  // a character it cannot hold
  SetHostEncoding("UTF-8");
  ASSERT_NE(data, nullptr) << fError;
  EXPECT_EQ(data->GetVariable(0)->GetType(), 6);  // six bytes in ISO-8859-1
  ExpectRows(*data, {{"Z\xFCrich", "caf\xE9"}});
  OBS code;
  std::memcpy(code.str, "caf\xE9  ", 6);
  EXPECT_STREQ(data->GetVariable(1)->GetValueLabels().Find(&code), "Caf\xE9");
  EXPECT_EQ(error, InlinePath() +
                       ": line 2, column 2 (t): \"\xE2\x82\xAC\" is not valid text in the encoding UTF-8 "
                       "or cannot be written in the host encoding ISO-8859-1");

  CsvOptions utf16;
  utf16.fEncoding = "UTF-16";
  EXPECT_EQ(LoadInline("s,t\n", schema, utf16), nullptr);
  EXPECT_EQ(fError,
            InlinePath() +
                ": the encoding \"UTF-16\" is unknown or does not write ASCII characters as single bytes");
  CsvOptions unknown;
  unknown.fEncoding = "NO-SUCH-CODEPAGE";
  EXPECT_EQ(LoadInline("s,t\n", schema, unknown), nullptr);
  EXPECT_NE(fError.find("\"NO-SUCH-CODEPAGE\" is unknown"), std::string::npos);
}

TEST_F(CsvLoaderTest, ReadsConstructsSplitAcrossReadChunks) {
  // The reader takes the file in 1 MiB chunks. A padding row moves the probe
  // row byte by byte across the first chunk boundary, so that every part of
  // it (a doubled quote, a CRLF inside quotes, a closing quote before the
  // delimiter, the CRLF at the row's end) meets the boundary once.
  const size_t CHUNK = 1 << 20;
  const std::string schema =
      R"({"fields": [{"name": "k", "type": "integer"}, {"name": "s", "type": "string"}]})";
  const std::string header = "k,s,pad\r\n";  // the schema does not read the padding column
  const std::string probe = "2,\"a\"\"b\r\nc\",\r\n";
  for (size_t shift = 0; shift <= probe.size(); ++shift) {
    SCOPED_TRACE("shift " + std::to_string(shift));
    const size_t padLength = CHUNK - header.size() - std::string("1,x,\"\"\r\n").size() - shift;
    std::string content = header + "1,x,\"" + std::string(padLength, 'p') + "\"\r\n" + probe + "3,end,";
    auto data = LoadInline(content, schema);
    ASSERT_NE(data, nullptr) << fError;
    EXPECT_EQ(data->GetVariable(1)->GetType(), 6);  // a " b CR LF c
    ExpectRows(*data, {{1.0, "x"}, {2.0, "a\"b\r\nc"}, {3.0, "end"}});
  }
  // A field-count error after the boundary names the probe's line.
  std::string content = header + "1,x,\"" + std::string(CHUNK, 'p') + "\"\r\n" + "2,\"a\"\"b\r\nc\",,\r\n";
  EXPECT_EQ(InlineError(content, schema), InlinePath() + ": line 3: the row has 4 fields, the header has 3");
}

TEST_F(CsvLoaderTest, AllocatesNothingPerRow) {
  // Loading ten times the rows must not take more allocations than the
  // store's occasional growth: none per row.
  const std::string schema = R"({"fields": [{"name": "n", "type": "number"}, {"name": "s", "type": "string"},
      {"name": "t", "type": "string", "constraints": {"maxLength": 30}}, {"name": "b", "type": "boolean"}]})";
  auto allocationsFor = [&](int rows) {
    std::string csv = "n,s,t,b\n";
    for (int i = 0; i < rows; ++i) {
      csv += std::to_string(i * 0.25) + ",\"word, " + std::to_string(i % 97) + "\"," +
             std::string(static_cast<size_t>(i % 29), 'x') + "," + (i % 2 ? "true" : "0") + "\n";
    }
    CsvSchema parsed;
    std::string error;
    EXPECT_TRUE(ParseSchema(schema, "inline", parsed, error));
    TempFile file("alloc.csv", csv);
    kvotest::AllocationCounter counter;
    auto data = LoadCsvDataSource(file.Path(), parsed, CsvOptions(), error);
    const long allocations = counter.Count();
    EXPECT_NE(data, nullptr) << error;
    EXPECT_EQ(data->NumCases(), static_cast<size_t>(rows));
    return allocations;
  };
  const long small = allocationsFor(2000);
  const long large = allocationsFor(20000);
  EXPECT_LT(large - small, 16) << "small " << small << ", large " << large;
}

// Every decimal cell must read as the double nearest its value, as the C
// library's strtod finds it: short plain decimals, and the longer or
// exponent forms around them, whatever way the loader reads each.
TEST_F(CsvLoaderTest, ReadsDecimalsAsTheNearestDouble) {
  std::vector<std::string> texts = {"0.1",
                                    "-.5",
                                    "1.",
                                    "-0",
                                    "0.000",
                                    "123456789012345",
                                    "1234567890123456",
                                    "0.000000000000001",
                                    "9.999999999999999",
                                    "99999999999999.99",
                                    "0.30000000000000004",
                                    "1e-5",
                                    "007.250",
                                    "-9007199254740993"};
  std::mt19937_64 random(7);
  for (int i = 0; i < 300; ++i) {
    const int decimals = static_cast<int>(random() % 8);
    std::string text = std::to_string(random() % 100000000000ULL);
    if (decimals > 0)
      text.insert(text.size() > static_cast<size_t>(decimals) ? text.size() - decimals : 0, ".");
    if (random() % 2 == 0) text = "-" + text;
    texts.push_back(text);
  }
  std::string csv = "n\n";
  for (const std::string& text : texts) csv += text + "\n";
  auto data = LoadInline(csv, R"({"fields": [{"name": "n", "type": "number"}]})");
  ASSERT_NE(data, nullptr) << fError;
  ASSERT_EQ(data->NumCases(), texts.size());
  for (size_t r = 0; r < texts.size(); ++r) {
    const double expected = std::strtod(texts[r].c_str(), nullptr);
    const double stored = data->Row(r)[data->CellOffset(0)].num;
    EXPECT_EQ(std::memcmp(&stored, &expected, sizeof(double)), 0) << texts[r] << " read as " << stored;
  }
}

}  // namespace
}  // namespace standin
