// Loading a data set from a CSV file described by a JSON schema into a
// MemoryDataSource. Free functions, safe on several threads for different
// files. Results belong to the caller; nothing is borrowed. No exception
// escapes: failures give null/false/-1 and a message saying where.
#ifndef STANDIN_CSVLOADER_H
#define STANDIN_CSVLOADER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "standin/MemoryDataSource.h"

namespace standin {

struct CsvOptions {
  // The field delimiter (not a quote, line end or NUL).
  char fDelimiter = ',';
  // The data file's encoding, as an iconv name. Any encoding in which the
  // delimiter, quote and line ends are single ASCII bytes (UTF-8 and the
  // single-byte code pages; not UTF-16). Strings are converted to the host
  // encoding (HostControl.h) when the two differ.
  std::string fEncoding = "UTF-8";
};

enum class CsvFieldType { Number, Integer, String, Boolean };

// One field of a schema, already turned into a variable declaration.
struct CsvField {
  CsvFieldType fType = CsvFieldType::Number;
  // Name, label, width, format, measure, value labels and user-missing
  // values. For a string without maxLength the width is 0 until the data
  // have been read.
  VariableSpec fSpec;
  // A string field without maxLength: its width is the longest value in the
  // file (at least 1, and at least its longest user-missing or category
  // value). The file is still read once: the rows are kept until its end.
  bool fbWidthFromData = false;
  // Whether printFormat was given (else the format follows the width).
  bool fbFormatGiven = false;
};

struct CsvSchema {
  std::vector<CsvField> fvFields;
  // Texts that mean a missing value (compared with the cell's text with
  // surrounding blanks removed): system-missing in numeric columns; in string
  // columns the missing mark (see LoadCsvDataSource).
  std::vector<std::string> fvMissingTexts{""};
};

// Reads a schema:
//   {"fields": [{"name", "type": number|integer|string|boolean (string when
//                left out), "title",
//                "categories": [{"value", "label"}], "constraints":
//                {"maxLength"}, "measure": nominal|ordinal|scale,
//                "userMissing": {"values": [...]} | {"range": [lo, hi]} |
//                {"range": [lo, hi], "value": v}, "printFormat": "F8.2"}],
//    (a string's printFormat is A with the field's width: maxLength, or the
//    longest value in the data without it)
//    "missingValues": ["", ...]}
// Other keys are ignored. Texts are UTF-8 (converted to the host encoding
// when that differs). False, with `error` set, for a bad schema: the
// message names the field (and the key within it for a number too large
// for a double) or the place in the text.
bool LoadSchema(const std::string& schemaPath, CsvSchema& schema, std::string& error);
// The same from JSON text; `sourceName` names it in messages.
bool ParseSchema(const std::string& jsonText, const std::string& sourceName, CsvSchema& schema,
                 std::string& error);

// The data path that reads standard input, and how a data path is named in
// messages ("standard input" for that one).
inline constexpr const char* STANDARD_INPUT = "-";
std::string CsvSourceName(const std::string& csvPath);

// Loads the CSV file into a new data source whose dictionary holds the
// schema's fields in schema order. The path "-" reads standard input, which
// is read once (as every file is); a path ending in ".gz" (in any letter
// case) is read through zlib, as gzip-compressed text. The file's header row names the columns;
// they are matched to fields without regard to letter case, and columns the
// schema does not name are ignored. Case numbers are the 1-based positions
// of the data rows (empty lines are skipped and not counted). Strings keep
// leading blanks and lose trailing ones, and may not contain NUL bytes;
// numbers may have blanks around them. A string cell that holds one of the
// missing-value texts is stored as the missing mark, the shortest of those
// texts (the empty text when "" is one), which becomes one more
// user-missing value of the variable: strings have no system-missing value.
// A field that cannot take the mark (three user-missing values of its own,
// or a maxLength narrower than the mark) refuses such a cell. Weight and
// split variables are left for the caller to set. Null,
// with `error` set, on any error: the message names the file, line and
// column (with its name), or the schema field. A user's interruption
// (RequestInterrupt, SIGINT) seen while the rows are read leaves through
// ATNJMP, that is by throwing HostInterrupt, as in a host procedure.
std::unique_ptr<MemoryDataSource> LoadCsvDataSource(const std::string& csvPath, const std::string& schemaPath,
                                                    const CsvOptions& options, std::string& error);
std::unique_ptr<MemoryDataSource> LoadCsvDataSource(const std::string& csvPath, const CsvSchema& schema,
                                                    const CsvOptions& options, std::string& error);

// The number of data rows of a CSV file (records after the header), or -1
// with `error` set for an unreadable or malformed file.
int64_t CountCsvRows(const std::string& csvPath, const CsvOptions& options, std::string& error);

}  // namespace standin

#endif  // STANDIN_CSVLOADER_H
