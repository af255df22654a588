// Loading CSV files and their JSON schemas into the in-memory data source:
// the file dialects, the schema's declarations, values read back from the
// store, and the place named by every kind of error.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "standin/CsvLoader.h"
#include "standin/HostControl.h"
#include "support/AllocationCounter.h"

namespace standin {
namespace {

const double SYSMIS = VORM_SYSMIS;

std::string DataPath(const std::string& name) { return std::string(KVO_TEST_DATA_DIR) + "/csv/" + name; }

std::string Padded(const std::string& text, size_t width) {
  std::string padded = text;
  padded.resize(width, ' ');
  return padded;
}

// Gives this test program a temporary directory of its own, so that its
// fixed file names never meet those of test programs running beside it.
class PrivateTempDirectory : public ::testing::Environment {
 public:
  void SetUp() override {
    fOld = TempDirectory();
    fDir = fOld + "/csvloader-" + std::to_string(getpid());
    ::mkdir(fDir.c_str(), 0700);
    SetTempDirectory(fDir);
  }
  void TearDown() override {
    ::rmdir(fDir.c_str());
    SetTempDirectory(fOld);
  }

 private:
  std::string fOld, fDir;
};

[[maybe_unused]] ::testing::Environment* const PRIVATE_TEMP_DIRECTORY =
    ::testing::AddGlobalTestEnvironment(new PrivateTempDirectory);

// A file under the temporary directory, removed when the object goes.
class TempFile {
 public:
  TempFile(const std::string& name, const std::string& content) : fPath(TempDirectory() + "/" + name) {
    std::ofstream out(fPath, std::ios::binary);
    out << content;
  }
  ~TempFile() { std::remove(fPath.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
};

// One expected cell: a number, or a string (compared blank padded).
struct Cell {
  Cell(double number) : fNumber(number) {}
  Cell(int number) : fNumber(number) {}
  Cell(const char* text) : fbString(true), fText(text) {}
  bool fbString = false;
  double fNumber = 0.0;
  std::string fText;
};

class CsvLoaderTest : public ::testing::Test {
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

  static double Number(const MemoryDataSource& data, size_t row, int index) {
    return data.Row(row)[data.CellOffset(index)].num;
  }
  static std::string Text(const MemoryDataSource& data, size_t row, int index) {
    const OBS* cells = data.Row(row) + data.CellOffset(index);
    return std::string(cells->str, static_cast<size_t>(data.GetVariable(index)->GetType()));
  }
  // Compares every stored cell with the expected table (one vector per row,
  // variables in dictionary order).
  static void ExpectRows(const MemoryDataSource& data, const std::vector<std::vector<Cell>>& rows) {
    ASSERT_EQ(data.NumCases(), rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
      ASSERT_EQ(static_cast<size_t>(data.GetNumVariables()), rows[r].size());
      for (size_t v = 0; v < rows[r].size(); ++v) {
        const int index = static_cast<int>(v);
        const short type = data.GetVariable(index)->GetType();
        const Cell& cell = rows[r][v];
        ASSERT_EQ(type > 0, cell.fbString) << "row " << r << ", variable " << v;
        if (cell.fbString ? Text(data, r, index) == Padded(cell.fText, static_cast<size_t>(type))
                          : Number(data, r, index) == cell.fNumber) {
          continue;
        }
        ADD_FAILURE() << "row " << r << ", variable " << data.GetVariable(index)->GetName() << ": stored "
                      << (cell.fbString ? "\"" + Text(data, r, index) + "\""
                                        : std::to_string(Number(data, r, index)))
                      << ", expected "
                      << (cell.fbString ? "\"" + cell.fText + "\"" : std::to_string(cell.fNumber));
      }
    }
  }

  std::string fError;
};

// The content of people.csv: name, city, age, income, member, note.
std::vector<std::vector<Cell>> PeopleRows() {
  return {
      {"Smith, Anna", "Oslo", 34, 52000.5, 1, "She said \"hi\""},
      {"Bob", "New\nYork", 41, SYSMIS, 0, "plain"},
      {"\xC3\x89lodie", "Z\xC3\xBCrich", 29, 10000, 1, "line one\nline two"},
      {"Dan", "Rio de Janeiro", -3, -0.25, 0, "6\" tall"},
      {"", "Lima", 0, 7, 0, ""},
  };
}

TEST_F(CsvLoaderTest, ReadsQuotedFieldsLineBreaksAndWidths) {
  auto data = Load(DataPath("people.csv"), DataPath("people.schema.json"));
  ASSERT_NE(data, nullptr) << fError;
  ASSERT_EQ(data->GetNumVariables(), 6);
  const char* names[] = {"name", "city", "age", "income", "member", "note"};
  for (int i = 0; i < 6; ++i) EXPECT_STREQ(data->GetVariable(i)->GetName(), names[i]);
  // Widths: maxLength 20 and 30; city from its longest value, "Rio de Janeiro".
  EXPECT_EQ(data->GetVariable(0)->GetType(), 20);
  EXPECT_EQ(data->GetVariable(1)->GetType(), 14);
  EXPECT_EQ(data->GetVariable(5)->GetType(), 30);
  EXPECT_EQ(data->GetVariable(2)->GetType(), 0);
  // Formats: A<width> by default, the given A40, F10.2, and F8.0 for integer and boolean.
  EXPECT_EQ(data->GetVariable(0)->GetFormat(), VORM_Format(VORM_Format::A, 20, 0));
  EXPECT_EQ(data->GetVariable(1)->GetFormat(), VORM_Format(VORM_Format::A, 14, 0));
  EXPECT_EQ(data->GetVariable(5)->GetFormat(), VORM_Format(VORM_Format::A, 40, 0));
  EXPECT_EQ(data->GetVariable(2)->GetFormat(), VORM_Format(VORM_Format::F, 8, 0));
  EXPECT_EQ(data->GetVariable(3)->GetFormat(), VORM_Format(VORM_Format::F, 10, 2));
  EXPECT_EQ(data->GetVariable(4)->GetFormat(), VORM_Format(VORM_Format::F, 8, 0));
  ASSERT_NE(data->GetVariable(0)->GetLabel(), nullptr);
  EXPECT_STREQ(data->GetVariable(0)->GetLabel(), "Full name");
  // Strings are nominal, numbers without categories scale.
  EXPECT_TRUE(data->IsCategorical(1));
  EXPECT_FALSE(data->IsCategorical(2));
  EXPECT_FALSE(data->IsCategorical(4));
  EXPECT_EQ(data->GetWeightVarIndex(), -1);
  EXPECT_EQ(data->GetNumSplitVars(), 0);
  ExpectRows(*data, PeopleRows());

  // Case numbers are the positions among the data rows, whatever lines they span.
  std::unique_ptr<VORM_InputCaseIterator> it(data->NewCaseIterator(0));
  ASSERT_NE(it, nullptr);
  for (int64_t expected = 1; expected <= 5; ++expected) {
    ASSERT_NE(it->NextCase(), 0);
    EXPECT_EQ(it->GetCaseNumber(), expected);
  }
  EXPECT_EQ(it->NextCase(), 0);
}

TEST_F(CsvLoaderTest, ReadsOtherDialectsAlike) {
  // A byte-order mark and CRLF line ends; line breaks inside quotes are kept as written.
  auto crlf = Load(DataPath("people_bom_crlf.csv"), DataPath("people.schema.json"));
  ASSERT_NE(crlf, nullptr) << fError;
  auto rows = PeopleRows();
  rows[1][1] = "New\r\nYork";
  rows[2][5] = "line one\r\nline two";
  ExpectRows(*crlf, rows);
  EXPECT_STREQ(crlf->GetVariable(0)->GetName(), "name");  // the mark is not part of the name

  // Semicolons, with one inside a quoted field.
  CsvOptions semicolon;
  semicolon.fDelimiter = ';';
  auto semi = Load(DataPath("people_semicolon.csv"), DataPath("people.schema.json"), semicolon);
  ASSERT_NE(semi, nullptr) << fError;
  rows = PeopleRows();
  rows[0][0] = "Smith; Anna";
  ExpectRows(*semi, rows);

  // ISO-8859-1 text becomes UTF-8, the host's encoding.
  CsvOptions latin1;
  latin1.fEncoding = "ISO-8859-1";
  auto converted = Load(DataPath("people_latin1.csv"), DataPath("people.schema.json"), latin1);
  ASSERT_NE(converted, nullptr) << fError;
  ExpectRows(*converted, PeopleRows());

  // Read as UTF-8, the same file's single bytes are not text: refused where
  // the first one is read (the width pass reads city first).
  auto raw = Load(DataPath("people_latin1.csv"), DataPath("people.schema.json"));
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(fError, DataPath("people_latin1.csv") +
                        ": line 5, column 2 (city): \"Z\xFCrich\" is not valid text in the encoding UTF-8 or "
                        "cannot be written in the host encoding UTF-8");
}

TEST_F(CsvLoaderTest, DeclaresUserMissingLabelsAndFormats) {
  auto data = Load(DataPath("survey.csv"), DataPath("survey.schema.json"));
  ASSERT_NE(data, nullptr) << fError;
  // Schema order, whatever the header's order and letter case; the extra and
  // the unnamed column are not read.
  ASSERT_EQ(data->GetNumVariables(), 9);
  const char* names[] = {"id", "q1", "q2", "q3", "code", "flag", "score", "comment", "empty_text"};
  for (int i = 0; i < 9; ++i) EXPECT_STREQ(data->GetVariable(i)->GetName(), names[i]);
  EXPECT_LT(data->FindVarIndex("extra", 0), 0);

  EXPECT_EQ(data->GetVariable(0)->GetFormat(), VORM_Format(VORM_Format::F, 4, 0));
  EXPECT_EQ(data->GetVariable(2)->GetFormat(), VORM_Format(VORM_Format::E, 10, 3));
  EXPECT_EQ(data->GetVariable(6)->GetFormat(), VORM_Format(VORM_Format::F, 8, 2));
  EXPECT_EQ(data->GetVariable(4)->GetType(), 3);
  // The comment's width covers its longest code, "unknown value", beyond the data's "  lead".
  EXPECT_EQ(data->GetVariable(7)->GetType(), 13);
  EXPECT_EQ(data->GetVariable(8)->GetType(), 1);  // only empty values: width 1
  // Measures: categories make q1 nominal; q3 is declared ordinal; the boolean is scale.
  EXPECT_TRUE(data->IsCategorical(1));
  EXPECT_TRUE(data->IsCategorical(3));
  EXPECT_FALSE(data->IsCategorical(5));
  EXPECT_FALSE(data->IsCategorical(6));
  EXPECT_TRUE(data->IsCategorical(8));
  EXPECT_STREQ(data->GetVariable(5)->GetLabel(), "Flag set");
  EXPECT_EQ(data->GetVariable(2)->GetLabel(), nullptr);

  const OBS *m1, *m2, *m3;
  ASSERT_EQ(data->GetVariable(1)->GetMissingValues(m1, m2, m3), 1);
  EXPECT_EQ(m1->num, 9.0);
  ASSERT_EQ(data->GetVariable(2)->GetMissingValues(m1, m2, m3), VORM_MISSING_RANGE_AND_ONE);
  EXPECT_EQ(m1->num, -9.0);
  EXPECT_EQ(m2->num, -7.0);
  EXPECT_EQ(m3->num, -1.0);
  ASSERT_EQ(data->GetVariable(3)->GetMissingValues(m1, m2, m3), VORM_MISSING_RANGE);
  EXPECT_EQ(m1->num, 90.0);
  EXPECT_EQ(m2->num, 99.0);
  ASSERT_EQ(data->GetVariable(4)->GetMissingValues(m1, m2, m3), 2);
  EXPECT_EQ(std::string(m1->str, 3), "XX ");
  EXPECT_EQ(std::string(m2->str, 3), "NA ");
  ASSERT_EQ(data->GetVariable(7)->GetMissingValues(m1, m2, m3), 1);
  EXPECT_EQ(std::string(m1->str, 13), "refused!     ");
  EXPECT_EQ(data->GetVariable(6)->GetMissingValues(m1, m2, m3), VORM_MISSING_NONE);

  OBS value;
  value.num = 9.0;
  EXPECT_TRUE(data->GetVariable(1)->IsUserMissingValue(&value));
  EXPECT_STREQ(data->GetVariable(1)->GetValueLabels().Find(&value), "Refused");
  value.num = 1.0;
  EXPECT_FALSE(data->GetVariable(1)->IsUserMissingValue(&value));
  EXPECT_STREQ(data->GetVariable(1)->GetValueLabels().Find(&value), "Yes");
  value.num = -8.0;
  EXPECT_TRUE(data->GetVariable(2)->IsUserMissingValue(&value));
  std::memcpy(value.str, "AB      ", 8);
  EXPECT_STREQ(data->GetVariable(4)->GetValueLabels().Find(&value), "Alpha Beta");
  OBS comment[2];
  std::memcpy(comment[0].str, "unknown value   ", 16);
  EXPECT_STREQ(data->GetVariable(7)->GetValueLabels().Find(comment), "Not known");

  // Missing texts "", "NA" and "." are system-missing in numeric columns
  // only; blanks around numbers are dropped, trailing blanks of strings too.
  ExpectRows(*data, {
                        {1, 1, 2.5, 50, "AB", 1, 1.5, "ok", ""},
                        {2, 9, -8, 95, "XX", 0, SYSMIS, "", ""},
                        {3, 2, -1, SYSMIS, "NA", 0, 7, "  lead", ""},
                        {4, SYSMIS, 1000, 100, "C", 1, -0.225, "trail", ""},
                        {5, 2, 3, 0, "", 1, 0.5, "x", ""},
                    });
}

TEST_F(CsvLoaderTest, ReportsBadDataWithFileLineAndColumn) {
  const std::string schema = DataPath("bad.schema.json");
  struct Case {
    const char* fFile;
    const char* fMessage;
  };
  const Case cases[] = {
      {"bad_number.csv", ": line 3, column 2 (amount): \"12x\" is not a number"},
      // The quoted field of line 2 runs over into line 3.
      {"bad_integer.csv",
       ": line 4, column 1 (id): \"1.5\" is not a whole number (the field's type is integer)"},
      {"bad_boolean.csv", ": line 2, column 4 (ok): \"yes\" is not a boolean (true, false, 1 or 0)"},
      {"too_many_fields.csv", ": line 3: the row has 5 fields, the header has 4"},
      {"too_few_fields.csv", ": line 2: the row has 3 fields, the header has 4"},
      {"missing_column.csv", ": line 1: the header has no column for the schema field 'name'"},
      {"duplicate_column.csv", ": line 1, column 5 (Amount): the column name repeats column 2 (amount)"},
      {"too_long_string.csv",
       ": line 3, column 3 (name): \"abcdef\" (6 bytes) is longer than the field's width 5"},
      {"unterminated_quote.csv",
       ": line 3, column 3 (name): the quoted field that starts here is not closed"},
      {"text_after_quote.csv",
       ": line 2, column 3 (name): unexpected text after the closing quote of a quoted field"},
      {"empty.csv", ": the file is empty (it has no header row)"},
      {"no_such_file.csv", ": cannot open the data file: No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fFile);
    auto data = Load(DataPath(c.fFile), schema);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(fError, DataPath(c.fFile) + c.fMessage);
  }
}

TEST_F(CsvLoaderTest, ReportsBadSchemaFilesWithTheField) {
  struct Case {
    const char* fFile;
    const char* fMessage;
  };
  const Case cases[] = {
      {"unknown_type.schema.json",
       ": field 2 'amount': unknown type \"numeric\" (the types are number, integer, string and boolean)"},
      {"unknown_measure.schema.json",
       ": field 1 'id': unknown measure \"interval\" (the measures are nominal, ordinal and scale)"},
      {"too_many_missing.schema.json", ": field 2 'amount': more than three user-missing values (4)"},
      {"string_range.schema.json", ": field 3 'name': a user-missing range needs a numeric field"},
      {"bad_format.schema.json",
       ": field 2 'amount': invalid print format \"X8.2\" (the format types are F, E and A)"},
      {"no_such.schema.json", ": cannot open the schema file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fFile);
    auto data = Load(DataPath("people.csv"), DataPath(c.fFile));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(fError, DataPath(c.fFile) + c.fMessage);
  }
  // A name the host refuses (a control character; blanks are fine) is
  // reported with the schema field.
  EXPECT_EQ(LoadInline("bad\tname\n1\n", R"({"fields": [{"name": "bad\tname", "type": "number"}]})"), nullptr);
  EXPECT_EQ(fError.rfind("schema: field 1 'bad\tname': ", 0), 0u) << fError;
  // Invalid JSON: the place of the stray '}' after the comma on line 3.
  auto data = Load(DataPath("people.csv"), DataPath("bad_json.schema.json"));
  EXPECT_EQ(data, nullptr);
  const std::string prefix = DataPath("bad_json.schema.json") + ": invalid JSON at line 3, column 38: ";
  EXPECT_EQ(fError.substr(0, prefix.size()), prefix);
  EXPECT_GT(fError.size(), prefix.size());
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
      {R"({"fields": [{"name": "a"}]})", "inline: field 1 'a': the field has no type"},
      {R"({"fields": [{"name": "a", "type": "number"}, {"name": "A", "type": "string"}]})",
       "inline: field 2 'A': the name repeats field 1 'a'"},
      {R"({"fields": [{"name": "a", "type": "number", "constraints": {"maxLength": 4}}]})",
       "inline: field 1 'a': maxLength applies to string fields only"},
      {R"({"fields": [{"name": "s", "type": "string", "constraints": {"maxLength": 0}}]})",
       "inline: field 1 's': maxLength 0 is outside 1 to 32767"},
      {R"({"fields": [{"name": "s", "type": "string", "constraints": {"maxLength": 2.5}}]})",
       "inline: field 1 's': maxLength must be a whole number"},
      {R"({"fields": [{"name": "a", "type": "number", "userMissing": {"range": [5, 1]}}]})",
       "inline: field 1 'a': the user-missing range's low end 5 is above its high end"},
      {R"({"fields": [{"name": "a", "type": "number", "userMissing": {"range": [1]}}]})",
       "inline: field 1 'a': a user-missing range must be a list of two numbers [low, high]"},
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
      {R"({"fields": [{"name": "a", "type": "number", "printFormat": "F8.8"}]})",
       "inline: field 1 'a': invalid print format \"F8.8\" (an F format is 1 to 40 wide, with fewer decimals "
       "than its width)"},
      {R"({"fields": [{"name": "a", "type": "number", "printFormat": "E7.2"}]})",
       "inline: field 1 'a': invalid print format \"E7.2\" (an E format is 6 to 40 wide, with at most width "
       "- 6 "
       "decimals)"},
      {R"({"fields": [{"name": "a", "type": "number", "printFormat": "F8."}]})",
       "inline: field 1 'a': invalid print format \"F8.\" (no digits after the point)"},
      {R"({"fields": [{"name": "s", "type": "string", "printFormat": "A8.1"}]})",
       "inline: field 1 's': invalid print format \"A8.1\" (an A format has no decimals)"},
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
  // Valid declarations: at most three values, a range with one value, booleans taking true/false.
  CsvSchema schema;
  std::string error;
  ASSERT_TRUE(ParseSchema(R"({"fields": [
      {"name": "a", "type": "number", "userMissing": {"values": [1, 2, 3]}},
      {"name": "b", "type": "boolean", "categories": [{"value": true, "label": "Yes"}, {"value": 0, "label": "No"}]},
      {"name": "c", "type": "string", "constraints": {"maxLength": 10}, "printFormat": "a12", "measure": "Ordinal"}]})",
                          "inline", schema, error))
      << error;
  ASSERT_EQ(schema.fvFields.size(), 3u);
  EXPECT_EQ(schema.fvFields[0].fSpec.fMissingNumbers, (std::vector<double>{1, 2, 3}));
  ASSERT_EQ(schema.fvFields[1].fSpec.fNumericLabels.size(), 2u);
  EXPECT_EQ(schema.fvFields[1].fSpec.fNumericLabels[0].first, 1.0);
  EXPECT_EQ(schema.fvFields[1].fSpec.fMeasure, Measure::Nominal);
  EXPECT_EQ(schema.fvFields[2].fSpec.fFormat, VORM_Format(VORM_Format::A, 12, 0));
  EXPECT_EQ(schema.fvFields[2].fSpec.fMeasure, Measure::Ordinal);
  EXPECT_EQ(schema.fvMissingTexts, (std::vector<std::string>{""}));
}

TEST_F(CsvLoaderTest, ParsesNumbersStrictly) {
  const std::string schema =
      R"({"fields": [{"name": "n", "type": "number"}, {"name": "i", "type": "integer"},
                     {"name": "b", "type": "boolean"}]})";
  auto data = LoadInline(
      "n,i,b\n"
      " 12 ,+5,TRUE\n"
      "-0.5,2.0,False\n"
      ".5,-7,1\n"
      "5.,9007199254740991,0\n"
      "1E3,0,\n"
      "\t,  , \n",
      schema);
  ASSERT_NE(data, nullptr) << fError;
  ExpectRows(*data, {
                        {12, 5, 1},
                        {-0.5, 2, 0},
                        {0.5, -7, 1},
                        {5, 9007199254740991.0, 0},
                        {1000, 0, SYSMIS},
                        {SYSMIS, SYSMIS, SYSMIS},
                    });
  struct Case {
    const char* fRow;
    const char* fMessage;
  };
  const Case cases[] = {
      {"inf,1,1", ": line 2, column 1 (n): \"inf\" is not a number"},
      {"nan,1,1", ": line 2, column 1 (n): \"nan\" is not a number"},
      {"0x10,1,1", ": line 2, column 1 (n): \"0x10\" is not a number"},
      {"1 2,1,1", ": line 2, column 1 (n): \"1 2\" is not a number"},
      {"+-1,1,1", ": line 2, column 1 (n): \"+-1\" is not a number"},
      {"--1,1,1", ": line 2, column 1 (n): \"--1\" is not a number"},
      {"1e400,1,1", ": line 2, column 1 (n): \"1e400\" is out of the range of numbers"},
      {"-1.7976931348623157e308,1,1",
       ": line 2, column 1 (n): \"-1.7976931348623157e308\" equals the system-missing value"},
      {"1,1.5,1", ": line 2, column 2 (i): \"1.5\" is not a whole number (the field's type is integer)"},
      {"1,9007199254740994,1",
       ": line 2, column 2 (i): \"9007199254740994\" is too large to be held exactly as a whole number"},
      // 2^53 + 1 reads as 2^53: neither can be told apart.
      {"1,9007199254740993,1",
       ": line 2, column 2 (i): \"9007199254740993\" is too large to be held exactly as a whole number"},
      {"1,-9007199254740992,1",
       ": line 2, column 2 (i): \"-9007199254740992\" is too large to be held exactly as a whole number"},
      {"1,1,yes", ": line 2, column 3 (b): \"yes\" is not a boolean (true, false, 1 or 0)"},
      {"1,1,2", ": line 2, column 3 (b): \"2\" is not a boolean (true, false, 1 or 0)"},
      {"1,NA,1", ": line 2, column 2 (i): \"NA\" is not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fRow);
    EXPECT_EQ(InlineError(std::string("n,i,b\n") + c.fRow + "\n", schema),
              TempDirectory() + "/inline.csv" + c.fMessage);
  }
  // A long bad cell is shown cut short.
  EXPECT_EQ(InlineError("n,i,b\n" + std::string(50, '7') + "x,1,1\n", schema),
            TempDirectory() + "/inline.csv: line 2, column 1 (n): \"" + std::string(40, '7') +
                "...\" is not a number");
}

TEST_F(CsvLoaderTest, HandlesLineEndsEmptyLinesAndHeaderOnlyFiles) {
  const std::string schema =
      R"({"fields": [{"name": "a", "type": "integer"}, {"name": "b", "type": "string"}]})";
  // Empty lines are skipped and not counted as rows; a lone CR ends a line;
  // the last line needs no line end; a delimiter at the very end leaves an empty field.
  auto data = LoadInline("a,b\n\n1,x\r\n\r\n2,\"y\r\"\r3,z\n\n4,", schema);
  ASSERT_NE(data, nullptr) << fError;
  ExpectRows(*data, {{1, "x"}, {2, "y\r"}, {3, "z"}, {4, ""}});
  EXPECT_EQ(data->GetVariable(1)->GetType(), 2);

  // Only a header: no cases, the dictionary is there, strings 1 wide.
  data = LoadInline(
      "\xEF\xBB\xBF"
      "A,B\n",
      schema);
  ASSERT_NE(data, nullptr) << fError;
  EXPECT_EQ(data->NumCases(), 0u);
  EXPECT_EQ(data->GetNumVariables(), 2);
  EXPECT_EQ(data->GetVariable(1)->GetType(), 1);

  // A mark and empty lines only: still an empty file. A quoted field closed at the end.
  EXPECT_EQ(InlineError("\xEF\xBB\xBF\n\r\n", schema),
            TempDirectory() + "/inline.csv: the file is empty (it has no header row)");
  data = LoadInline("a,b\n1,\"x\"\"\"", schema);
  ASSERT_NE(data, nullptr) << fError;
  ExpectRows(*data, {{1, "x\""}});
  // An error in a later row names that row's first line.
  EXPECT_EQ(
      InlineError("a,b\n1,\"multi\nline\"\n\n2,\"x\"y\n", schema),
      TempDirectory() +
          "/inline.csv: line 5, column 2 (b): unexpected text after the closing quote of a quoted field");

  // A quoted header name, and names matched without regard to case.
  data = LoadInline("\"B\",\"a\"\nq,7\n", schema);
  ASSERT_NE(data, nullptr) << fError;
  ExpectRows(*data, {{7, "q"}});
  // The delimiter cannot be a quote.
  CsvOptions quote;
  quote.fDelimiter = '"';
  EXPECT_EQ(LoadInline("a,b\n", schema, quote), nullptr);
  EXPECT_EQ(fError, TempDirectory() + "/inline.csv: the delimiter cannot be a quote, a line end or NUL");
}

TEST_F(CsvLoaderTest, ConvertsEncodingsAndRejectsUnusableOnes) {
  const std::string schema = R"({"fields": [{"name": "s", "type": "string"}, {"name": "t", "type": "string",
      "constraints": {"maxLength": 6}, "categories": [{"value": "caf\u00e9", "label": "Caf\u00e9"}]}]})";
  // With a single-byte host encoding, UTF-8 text and the schema's texts are converted to it.
  SetHostEncoding("ISO-8859-1");
  auto data = LoadInline("s,t\nZ\xC3\xBCrich,caf\xC3\xA9\n", schema);
  SetHostEncoding("UTF-8");
  ASSERT_NE(data, nullptr) << fError;
  EXPECT_EQ(data->GetVariable(0)->GetType(), 6);  // six bytes in ISO-8859-1
  ExpectRows(*data, {{"Z\xFCrich", "caf\xE9"}});
  OBS code;
  std::memcpy(code.str, "caf\xE9  ", 6);
  EXPECT_STREQ(data->GetVariable(1)->GetValueLabels().Find(&code), "Caf\xE9");

  // A character the host encoding cannot hold.
  SetHostEncoding("ISO-8859-1");
  std::string error = InlineError("s,t\nx,\xE2\x82\xAC\n", schema);
  SetHostEncoding("UTF-8");
  EXPECT_EQ(error,
            TempDirectory() +
                "/inline.csv: line 2, column 2 (t): \"\xE2\x82\xAC\" is not valid text in the encoding UTF-8 "
                "or cannot be written in the host encoding ISO-8859-1");

  CsvOptions utf16;
  utf16.fEncoding = "UTF-16";
  EXPECT_EQ(LoadInline("s,t\n", schema, utf16), nullptr);
  EXPECT_EQ(fError, TempDirectory() +
                        "/inline.csv: the encoding \"UTF-16\" is unknown or does not write ASCII characters "
                        "as single bytes");
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
    ExpectRows(*data, {{1, "x"}, {2, "a\"b\r\nc"}, {3, "end"}});
  }
  // A field-count error after the boundary names the probe's line.
  std::string content = header + "1,x,\"" + std::string(CHUNK, 'p') + "\"\r\n" + "2,\"a\"\"b\r\nc\",,\r\n";
  EXPECT_EQ(InlineError(content, schema),
            TempDirectory() + "/inline.csv: line 3: the row has 4 fields, the header has 3");
}

TEST_F(CsvLoaderTest, ReadsBackRandomRecordsOverManyChunks) {
  // Random texts of awkward characters, written with quotes where needed
  // (and at random where not) and with mixed line ends: each must come back
  // as written, less trailing blanks, over a file of several read chunks.
  const std::string schema = R"({"fields": [
      {"name": "c1", "type": "string", "constraints": {"maxLength": 64}},
      {"name": "c2", "type": "string", "constraints": {"maxLength": 64}},
      {"name": "c3", "type": "string", "constraints": {"maxLength": 64}}]})";
  const char* PIECES[] = {"a", "b", " ", ",", "\"", "\n", "\r", "\r\n", ";", "\xC3\xA9", "xyz"};
  const char* LINE_ENDS[] = {"\n", "\r\n", "\r"};
  std::mt19937 random(7);
  std::string csv = "c1,c2,c3\n";
  std::vector<std::vector<Cell>> expected;
  while (csv.size() < 3 * (1u << 20)) {
    std::vector<Cell> row;
    for (int c = 0; c < 3; ++c) {
      std::string value;
      const int pieces = static_cast<int>(random() % 12);
      for (int i = 0; i < pieces; ++i) value += PIECES[random() % 11];
      const bool needsQuotes = value.find_first_of(",\"\r\n") != std::string::npos;
      if (needsQuotes || random() % 4 == 0) {
        std::string quoted = "\"";
        for (char ch : value) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        csv += quoted + "\"";
      } else {
        csv += value;
      }
      csv += c < 2 ? "," : LINE_ENDS[random() % 3];
      value.erase(value.find_last_not_of(' ') + 1);
      row.emplace_back(value.c_str());
    }
    expected.push_back(std::move(row));
  }
  auto data = LoadInline(csv, schema);
  ASSERT_NE(data, nullptr) << fError;
  ExpectRows(*data, expected);
}

TEST_F(CsvLoaderTest, CountsRows) {
  std::string error;
  EXPECT_EQ(CountCsvRows(DataPath("people.csv"), CsvOptions(), error), 5);
  EXPECT_EQ(CountCsvRows(DataPath("survey.csv"), CsvOptions(), error), 5);
  EXPECT_EQ(CountCsvRows(DataPath("too_few_fields.csv"), CsvOptions(), error), -1);
  EXPECT_EQ(error, DataPath("too_few_fields.csv") + ": line 2: the row has 3 fields, the header has 4");
  EXPECT_EQ(CountCsvRows(DataPath("empty.csv"), CsvOptions(), error), -1);
}

TEST_F(CsvLoaderTest, LoadsTheSampleDataAsWritten) {
  const std::string dir = std::string(KVO_SOURCE_DIR) + "/data/sample/";
  auto data = Load(dir + "sample.csv", dir + "sample.schema.json");
  ASSERT_NE(data, nullptr) << fError;
  ASSERT_EQ(data->NumCases(), 3000u);
  ASSERT_EQ(data->GetNumVariables(), 13);
  // Every cell equals the file's text: the sample has no quoted fields, so
  // a plain split reads it; "" and "NA" are system-missing.
  std::ifstream in(dir + "sample.csv");
  std::string line;
  std::getline(in, line);
  size_t row = 0;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream split(line);
    std::string cell;
    while (std::getline(split, cell, ',')) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.push_back("");
    ASSERT_EQ(cells.size(), 13u) << line;
    for (int v = 0; v < 13; ++v) {
      const short type = data->GetVariable(v)->GetType();
      if (type > 0) {
        ASSERT_EQ(Text(*data, row, v), Padded(cells[v], static_cast<size_t>(type))) << line;
      } else {
        double expected =
            cells[v].empty() || cells[v] == "NA" ? SYSMIS : std::strtod(cells[v].c_str(), nullptr);
        ASSERT_EQ(Number(*data, row, v), expected) << line << " variable " << v;
      }
    }
    ++row;
  }
  EXPECT_EQ(row, 3000u);
  // Occupation takes its width from the data: "manual_worker" and "self_employed".
  EXPECT_EQ(data->GetVariable(data->FindVarIndex("occupation", 0))->GetType(), 13);
  EXPECT_EQ(data->GetVariable(data->FindVarIndex("gender", 0))->GetType(), 1);
}

TEST_F(CsvLoaderTest, AllocatesNothingPerRow) {
  // Loading ten times the rows must not take more allocations than the
  // store's occasional growth: none per row.
  const std::string schema = R"({"fields": [{"name": "n", "type": "number"}, {"name": "s", "type": "string"},
      {"name": "t", "type": "string", "constraints": {"maxLength": 30}}, {"name": "b", "type": "boolean"}]})";
  auto makeCsv = [](int rows) {
    std::string csv = "n,s,t,b\n";
    for (int i = 0; i < rows; ++i) {
      csv += std::to_string(i * 0.25) + ",\"word, " + std::to_string(i % 97) + "\"," +
             std::string(static_cast<size_t>(i % 29), 'x') + "," + (i % 2 ? "true" : "0") + "\n";
    }
    return csv;
  };
  auto allocationsFor = [&](int rows) {
    CsvSchema parsed;
    std::string error;
    EXPECT_TRUE(ParseSchema(schema, "inline", parsed, error));
    TempFile file("alloc.csv", makeCsv(rows));
    kvotest::AllocationCounter counter;
    auto data = LoadCsvDataSource(file.Path(), parsed, CsvOptions(), error);
    const long allocations = counter.Count();
    EXPECT_NE(data, nullptr) << error;
    EXPECT_EQ(data->NumCases(), static_cast<size_t>(rows));
    return allocations;
  };
  long small = allocationsFor(2000);
  long large = allocationsFor(20000);
  EXPECT_LT(large - small, 16) << "small " << small << ", large " << large;
}

}  // namespace
}  // namespace standin
