// Fuzz target: the stand-in host's CSV loader (LoadCsvDataSource and
// CountCsvRows) under a fixed schema, checked against a small reference
// reader written here from the rules of the format.
//
// Input: one byte choosing the delimiter (',', ';', tab, '|'), the file's
// encoding (UTF-8 or ISO-8859-1) and the schema (the string "note" with a
// declared width or a width from the data), then the file's bytes.
//
// The schema: id (integer), x (number), flag (boolean), name (string,
// width 8), note (string); "" and "NA" mean missing.
//
// Properties: a refused file comes with a message that begins with the
// file's path. A loaded file holds the rows the reference reader finds, with
// each string as written (trailing blanks dropped, blank padded, valid
// UTF-8 in the host; a missing-value text as the user-missing blank) and
// each number as the text reads; CountCsvRows agrees. A file that the reference
// reader finds plainly valid (every cell in a simple form) must load.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "standin/CsvLoader.h"

namespace {

using Record = std::vector<std::string>;

constexpr int NAME_WIDTH = 8;
constexpr int NOTE_WIDTH = 12;

const char* SchemaText(bool noteWidthFromData) {
  return noteWidthFromData ? R"({"fields": [
    {"name": "id", "type": "integer"}, {"name": "x", "type": "number"},
    {"name": "flag", "type": "boolean"},
    {"name": "name", "type": "string", "constraints": {"maxLength": 8}},
    {"name": "note", "type": "string"}], "missingValues": ["", "NA"]})"
                           : R"({"fields": [
    {"name": "id", "type": "integer"}, {"name": "x", "type": "number"},
    {"name": "flag", "type": "boolean"},
    {"name": "name", "type": "string", "constraints": {"maxLength": 8}},
    {"name": "note", "type": "string", "constraints": {"maxLength": 12}}], "missingValues": ["", "NA"]})";
}

const standin::CsvSchema& Schema(bool noteWidthFromData) {
  static standin::CsvSchema schemas[2];
  static bool parsed[2] = {false, false};
  standin::CsvSchema& schema = schemas[noteWidthFromData ? 1 : 0];
  if (!parsed[noteWidthFromData ? 1 : 0]) {
    std::string error;
    FUZZ_CHECK(standin::ParseSchema(SchemaText(noteWidthFromData), "fuzz schema", schema, error));
    parsed[noteWidthFromData ? 1 : 0] = true;
  }
  return schema;
}

// RFC 4180 records: quoted fields with doubled quotes and line breaks; LF,
// CR or CRLF line ends; empty lines skipped. False for a quote that is not
// closed or text after a closing quote.
bool ReadRecords(std::string_view s, char delimiter, std::vector<Record>& records) {
  size_t i = 0;
  const size_t n = s.size();
  for (;;) {
    while (i < n && (s[i] == '\n' || s[i] == '\r')) ++i;
    if (i == n) return true;
    Record record;
    for (;;) {
      std::string field;
      if (i < n && s[i] == '"') {
        ++i;
        for (;;) {
          if (i == n) return false;
          if (s[i] == '"') {
            if (i + 1 < n && s[i + 1] == '"') {
              field += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          field += s[i++];
        }
        record.push_back(field);
        if (i == n) break;
        if (s[i] == delimiter) {
          ++i;
          continue;
        }
        if (s[i] != '\n' && s[i] != '\r') return false;
        ++i;
        break;
      }
      while (i < n && s[i] != delimiter && s[i] != '\n' && s[i] != '\r') field += s[i++];
      record.push_back(field);
      if (i < n && s[i] == delimiter) {
        ++i;
        continue;
      }
      if (i < n) ++i;
      break;
    }
    records.push_back(std::move(record));
  }
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// A number in a form every reader takes alike: an optional minus, 1 to 15
// digits, and optionally a point and 1 to 6 digits.
bool IsPlainNumber(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (digits < 1 || digits > 15) return false;
  if (i == text.size()) return true;
  if (text[i] != '.') return false;
  ++i;
  size_t decimals = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++decimals;
  return i == text.size() && decimals >= 1 && decimals <= 6;
}

// How a cell of a numeric field reads: its value (the system-missing value
// for a missing text), and whether the cell is plainly valid.
struct NumericCell {
  double fValue = VORM_SYSMIS;
  bool fbPlainlyValid = false;
};

NumericCell ReadNumeric(const std::string& column, std::string_view raw) {
  NumericCell cell;
  const std::string_view text = Trim(raw);
  if (text.empty() || text == "NA") {
    cell.fbPlainlyValid = true;
    return cell;
  }
  if (column == "FLAG") {
    const std::string upper = Upper(text);
    if (upper == "1" || upper == "TRUE") cell.fValue = 1.0;
    if (upper == "0" || upper == "FALSE") cell.fValue = 0.0;
    cell.fbPlainlyValid = cell.fValue != VORM_SYSMIS;
    return cell;
  }
  const std::string copy(text);
  cell.fValue = std::strtod(copy.c_str(), nullptr);
  cell.fbPlainlyValid = IsPlainNumber(text) && (column != "ID" || cell.fValue == std::trunc(cell.fValue));
  return cell;
}

std::string TrimEnd(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvo_fuzz::FuzzBytes in(data, size);
  const uint8_t choice = in.Byte();
  static constexpr char DELIMITERS[] = {',', ';', '\t', '|'};
  const char delimiter = DELIMITERS[choice % 4];
  const bool latin1 = (choice & 4) != 0;
  const bool noteWidthFromData = (choice & 8) != 0;
  const std::string_view file = in.Rest();

  standin::CsvOptions options;
  options.fDelimiter = delimiter;
  options.fEncoding = latin1 ? "ISO-8859-1" : "UTF-8";
  kvo_fuzz::MemoryFile csv(file);
  std::string error;
  std::unique_ptr<standin::MemoryDataSource> loaded =
      standin::LoadCsvDataSource(csv.Path(), Schema(noteWidthFromData), options, error);

  // The reference reading, in the host's encoding (UTF-8).
  std::string_view body = file;
  if (!latin1 && body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  std::vector<Record> records;
  bool plainlyValid = ReadRecords(body, delimiter, records) && !records.empty();
  for (Record& record : records) {
    for (std::string& field : record) {
      if (latin1) field = Latin1ToUtf8(field);
      plainlyValid = plainlyValid && kvo_fuzz::IsUtf8(field);
    }
  }
  static const char* const FIELDS[] = {"ID", "X", "FLAG", "NAME", "NOTE"};
  std::vector<size_t> columnOf(5, static_cast<size_t>(-1));
  if (plainlyValid) {
    const Record& header = records[0];
    std::vector<std::string> seen;
    for (size_t c = 0; c < header.size(); ++c) {
      const std::string name = Upper(Trim(header[c]));
      if (name.empty()) continue;
      for (const std::string& other : seen) plainlyValid = plainlyValid && other != name;
      seen.push_back(name);
      for (size_t f = 0; f < 5; ++f) {
        if (name == FIELDS[f]) columnOf[f] = c;
      }
    }
    for (size_t f = 0; f < 5; ++f) plainlyValid = plainlyValid && columnOf[f] != static_cast<size_t>(-1);
  }
  if (plainlyValid) {
    for (size_t r = 1; r < records.size(); ++r) {
      const Record& record = records[r];
      if (record.size() != records[0].size()) {
        plainlyValid = false;
        break;
      }
      for (size_t f = 0; f < 3; ++f)
        plainlyValid = plainlyValid && ReadNumeric(FIELDS[f], record[columnOf[f]]).fbPlainlyValid;
      // A NUL byte in a text cell is refused (it would cut the text short).
      for (size_t f = 3; f < 5; ++f)
        plainlyValid = plainlyValid && record[columnOf[f]].find('\0') == std::string::npos;
      plainlyValid = plainlyValid && TrimEnd(record[columnOf[3]]).size() <= NAME_WIDTH;
      plainlyValid = plainlyValid && (noteWidthFromData || TrimEnd(record[columnOf[4]]).size() <= NOTE_WIDTH);
    }
  }

  if (!loaded) {
    FUZZ_CHECK(error.compare(0, csv.Path().size(), csv.Path()) == 0);
    FUZZ_CHECK(!plainlyValid);
    return 0;
  }
  FUZZ_CHECK(!records.empty());
  FUZZ_CHECK(loaded->NumCases() == records.size() - 1);
  std::string countError;
  FUZZ_CHECK(standin::CountCsvRows(csv.Path(), options, countError) ==
             static_cast<int64_t>(records.size() - 1));
  FUZZ_CHECK(loaded->GetNumVariables() == 5);
  // The columns of the fields, found again from the header.
  for (size_t c = 0; c < records[0].size(); ++c) {
    const std::string name = Upper(Trim(records[0][c]));
    for (size_t f = 0; f < 5; ++f) {
      if (name == FIELDS[f]) columnOf[f] = c;
    }
  }
  for (size_t row = 0; row + 1 < records.size(); ++row) {
    const Record& record = records[row + 1];
    FUZZ_CHECK(record.size() == records[0].size());
    const OBS* cells = loaded->Row(row);
    FUZZ_CHECK(cells != nullptr);
    FUZZ_CHECK(loaded->CaseNumber(row) == static_cast<int64_t>(row + 1));
    for (size_t f = 0; f < 5; ++f) {
      const OBS* cell = cells + loaded->CellOffset(static_cast<int>(f));
      const std::string& raw = record[columnOf[f]];
      if (f < 3) {
        const NumericCell expected = ReadNumeric(FIELDS[f], raw);
        FUZZ_CHECK(std::memcmp(&cell->num, &expected.fValue, sizeof(double)) == 0);
        continue;
      }
      // A text that is not valid in the file's encoding is refused, never stored.
      FUZZ_CHECK(kvo_fuzz::IsUtf8(raw));
      // A missing-value text becomes the mark "", a user-missing value.
      const VORM_Variable* variable = loaded->GetVariable(static_cast<int>(f));
      const int width = variable->GetType();
      const bool missing = Trim(raw).empty() || Trim(raw) == "NA";
      const std::string text = missing ? "" : TrimEnd(raw);
      FUZZ_CHECK(variable->IsUserMissingValue(cell) == (missing || text.empty()));
      FUZZ_CHECK(text.size() <= static_cast<size_t>(width));
      const std::string stored(cell->str, static_cast<size_t>(VORM_CellCount(width)) * sizeof(OBS));
      FUZZ_CHECK(stored == text + std::string(stored.size() - text.size(), ' '));
    }
  }
  return 0;
}
