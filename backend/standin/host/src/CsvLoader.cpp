// Loading a CSV file into a MemoryDataSource. The file is streamed through
// CsvReader and each row is written straight into the store; nothing holds
// the whole text. String fields without a declared width take one extra
// pass over the file to find their longest value (the same pass counts the
// rows, so the store can reserve exactly); otherwise the row count is
// estimated from the first rows and the file size.
#include "standin/CsvLoader.h"

#include <vorm/Utility.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <unordered_map>

#include "CsvReader.h"
#include "TextConverter.h"
#include "Utf8.h"
#include "standin/HostControl.h"

namespace standin {
namespace {

constexpr int MAX_STRING_WIDTH = 32767;
constexpr size_t MAX_USER_MISSING_VALUES = 3;
// Rows read before the total is estimated for the store's reservation.
constexpr int64_t ESTIMATE_AFTER_ROWS = 1000;
// Rows between two looks at the user's interruption request: often enough
// that Ctrl-C over a large file answers at once, rare enough to cost nothing.
constexpr int64_t INTERRUPT_POLL_ROWS = 4096;
// Bytes of a bad cell shown in a message.
constexpr size_t MAX_SHOWN_BYTES = 40;
// Whole numbers from 2^53 on are not all exact as doubles (2^53 + 1 reads
// as 2^53), so an integer cell must stay below it.
constexpr double MAX_EXACT_INTEGER = 9007199254740992.0;  // 2^53

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A cell's text for a message, in quotes and cut to a length: control
// characters and bytes that are not UTF-8 are written as \xHH, so that what
// the message shows can be written to any terminal and matched to the file.
std::string Shown(std::string_view text) {
  const std::string_view part = text.substr(0, MAX_SHOWN_BYTES);
  std::string shown = "\"";
  for (size_t i = 0; i < part.size();) {
    const size_t length =
        static_cast<unsigned char>(part[i]) < 0x20 ? 0 : standin_common::Utf8CharacterLength(part, i);
    if (length == 0) {
      static constexpr char HEX[] = "0123456789ABCDEF";
      const auto value = static_cast<unsigned char>(part[i]);
      shown += {'\\', 'x', HEX[value >> 4], HEX[value & 0xF]};
      ++i;
    } else {
      shown.append(part.substr(i, length));
      i += length;
    }
  }
  return shown + (text.size() > MAX_SHOWN_BYTES ? "...\"" : "\"");
}

std::string Upper(const std::string& text) { return GetUpperVarName(VormVarName(text)).str(); }

bool IsUtf8(const std::string& encoding) { return TextConverter::SameEncoding(encoding, "UTF-8"); }

enum class NumberStatus { OK, NOT_A_NUMBER, OUT_OF_RANGE, NOT_WHOLE, NOT_EXACT, SYSTEM_MISSING, NOT_BOOLEAN };

// Exact powers of ten: every one up to 10^22 is a double.
constexpr double POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// Digits that always fit below 2^53.
constexpr int MAX_EXACT_DIGITS = 15;

// The common short form "[-]digits[.digits]" with at most 15 digits: the
// digits make a whole number below 2^53 and the point a power of ten up to
// 10^15, both exact doubles, so their one correctly rounded quotient is
// the value std::from_chars gives. `isWhole` tells whether no digit after
// the point is other than 0. False for anything else (the caller then takes the
// general way).
bool ParseShortDecimal(const char* begin, const char* end, double& value, bool& isWhole) {
  const bool negative = begin != end && *begin == '-';
  if (negative) ++begin;
  uint64_t whole = 0;
  int digits = 0;
  int decimals = 0;
  bool point = false;
  bool leadingDigit = false;
  bool fraction = false;
  for (const char* p = begin; p != end; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      if (++digits > MAX_EXACT_DIGITS) return false;
      whole = whole * 10 + static_cast<uint64_t>(c - '0');
      if (point) {
        ++decimals;
        fraction = fraction || c != '0';
      } else {
        leadingDigit = true;
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  // "1." and ".5" read as numbers; "." and "" do not.
  if (digits == 0 || (!leadingDigit && decimals == 0)) return false;
  double number = static_cast<double>(whole);
  if (decimals > 0) number /= POWERS_OF_TEN[decimals];
  value = negative ? -number : number;
  isWhole = !fraction;
  return true;
}

// Parses a trimmed numeric cell: decimal or exponent notation with an
// optional sign, independent of the locale. No allocation. `whole` is set
// when the short form shows the value is a whole number below 10^15.
NumberStatus ParseNumber(std::string_view text, double& value, bool& whole) {
  whole = false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') {
    ++begin;
    if (begin != end && *begin == '-') return NumberStatus::NOT_A_NUMBER;
  }
  if (begin == end) return NumberStatus::NOT_A_NUMBER;
  if (ParseShortDecimal(begin, end, value, whole)) {
    return value == VORM_SYSMIS ? NumberStatus::SYSTEM_MISSING : NumberStatus::OK;
  }
  // Only digits, a point, a sign and an exponent letter may appear: this
  // keeps out "inf", "nan" and hexadecimal forms.
  for (const char* p = begin; p != end; ++p) {
    char c = *p;
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
      return NumberStatus::NOT_A_NUMBER;
    }
  }
  auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return NumberStatus::OUT_OF_RANGE;
  if (ec != std::errc() || ptr != end) return NumberStatus::NOT_A_NUMBER;
  if (!std::isfinite(value)) return NumberStatus::OUT_OF_RANGE;
  if (value == VORM_SYSMIS) return NumberStatus::SYSTEM_MISSING;
  return NumberStatus::OK;
}

bool EqualNoCase(std::string_view a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return i == a.size() && b[i] == '\0';
}

NumberStatus ParseCell(CsvFieldType type, std::string_view text, double& value) {
  if (type == CsvFieldType::Boolean) {
    if (text == "1" || EqualNoCase(text, "true")) {
      value = 1.0;
    } else if (text == "0" || EqualNoCase(text, "false")) {
      value = 0.0;
    } else {
      return NumberStatus::NOT_BOOLEAN;
    }
    return NumberStatus::OK;
  }
  bool whole = false;
  NumberStatus status = ParseNumber(text, value, whole);
  if (status != NumberStatus::OK || type != CsvFieldType::Integer || whole) return status;
  if (value != std::trunc(value)) return NumberStatus::NOT_WHOLE;
  if (std::fabs(value) >= MAX_EXACT_INTEGER) return NumberStatus::NOT_EXACT;
  return NumberStatus::OK;
}

const char* Complaint(NumberStatus status) {
  switch (status) {
    case NumberStatus::NOT_A_NUMBER:
      return "is not a number";
    case NumberStatus::OUT_OF_RANGE:
      return "is out of the range of numbers";
    case NumberStatus::NOT_WHOLE:
      return "is not a whole number (the field's type is integer)";
    case NumberStatus::NOT_EXACT:
      return "is too large to be held exactly as a whole number";
    case NumberStatus::SYSTEM_MISSING:
      return "equals the system-missing value";
    case NumberStatus::NOT_BOOLEAN:
      return "is not a boolean (true, false, 1 or 0)";
    case NumberStatus::OK:
      break;
  }
  return "is not valid";
}

// One schema field and the column it is read from.
struct Binding {
  const CsvField* fpField = nullptr;
  size_t fFieldIndex = 0;
  size_t fColumn = 0;  // 0-based
  int fVariable = -1;
  size_t fOffset = 0;  // the variable's first cell in a stored row
  short fWidth = 0;    // a string's width; for one from the data, known at the end
  bool fbString = false;
  bool fbWidthFromData = false;
  // A string field whose cells that hold a missing-value text are stored as
  // the missing mark, one of its user-missing values.
  bool fbMarked = false;
  size_t fLongest = 0;   // a width from the data: the longest value so far
  std::string fScratch;  // the converted text of a string cell, reused
};

// Leaves through the host's interruption handling when the user asked to
// stop; looks only every INTERRUPT_POLL_ROWS rows.
void PollInterrupt(int64_t rows) {
  if (rows % INTERRUPT_POLL_ROWS == 0 && InterruptPending()) ATNJMP(Workspace());
}

// Where the values of a row go: straight into the store's building row, or
// (while a string's width is still unknown) into a staging area that is
// copied into the store once the file has been read. Both take the row's
// values in binding order.
class StoreSink {
 public:
  explicit StoreSink(MemoryDataSource& store) : fStore(store) {}
  void StartRow() {
    fStore.AddCase();
    fpRow = fStore.BuildingRow();
  }
  void Number(const Binding& binding, double value) { fpRow[binding.fOffset].num = value; }
  void Text(const Binding& binding, const std::string& text) { fStore.SetString(binding.fVariable, text); }

 private:
  MemoryDataSource& fStore;
  OBS* fpRow = nullptr;
};

// The staging area: the values of the rows in binding order, laid end to
// end in blocks that never move (growing copies nothing): a number as its 8
// bytes, a text as its length (2 bytes: at most 32767) and its bytes. The
// blocks are released as the rows are copied into the store.
class StagingSink {
 public:
  StagingSink() = default;
  StagingSink(const StagingSink&) = delete;
  StagingSink& operator=(const StagingSink&) = delete;

  void StartRow() { ++fRows; }
  void Number(const Binding&, double value) { Append(&value, sizeof value); }
  void Text(const Binding&, const std::string& text) {
    const uint16_t length = static_cast<uint16_t>(text.size());
    Append(&length, sizeof length);
    Append(text.data(), text.size());
  }

  // Fills the store, whose variables are declared by now, with the rows
  // kept. A new row's strings are blank: each text is copied in place.
  void CopyInto(MemoryDataSource& store, const std::vector<Binding>& bindings) {
    store.Reserve(static_cast<size_t>(fRows));
    fReadBlock = 0;
    fReadPos = 0;
    for (int64_t row = 1; row <= fRows; ++row) {
      PollInterrupt(row);
      store.AddCase();
      OBS* cells = store.BuildingRow();
      for (const Binding& binding : bindings) {
        if (!binding.fbString) {
          Take(&cells[binding.fOffset].num, sizeof(double));
          continue;
        }
        uint16_t length = 0;
        Take(&length, sizeof length);
        Take(cells[binding.fOffset].str, length);
      }
    }
    fvBlocks.clear();
  }

 private:
  static constexpr size_t BLOCK_BYTES = size_t{1} << 20;

  void Append(const void* data, size_t size) {
    const char* from = static_cast<const char*>(data);
    while (size > 0) {
      if (fvBlocks.empty() || fWritePos == BLOCK_BYTES) {
        fvBlocks.push_back(std::make_unique_for_overwrite<char[]>(BLOCK_BYTES));
        fWritePos = 0;
      }
      const size_t part = std::min(size, BLOCK_BYTES - fWritePos);
      std::memcpy(fvBlocks.back().get() + fWritePos, from, part);
      fWritePos += part;
      from += part;
      size -= part;
    }
  }
  // Reads the next bytes; a block read to its end is released.
  void Take(void* data, size_t size) {
    char* to = static_cast<char*>(data);
    while (size > 0) {
      if (fReadPos == BLOCK_BYTES) {
        fvBlocks[fReadBlock++].reset();
        fReadPos = 0;
      }
      const size_t part = std::min(size, BLOCK_BYTES - fReadPos);
      std::memcpy(to, fvBlocks[fReadBlock].get() + fReadPos, part);
      fReadPos += part;
      to += part;
      size -= part;
    }
  }

  int64_t fRows = 0;
  std::vector<std::unique_ptr<char[]>> fvBlocks;
  size_t fWritePos = 0;
  size_t fReadBlock = 0;
  size_t fReadPos = 0;
};

// One load: the reader, the column bindings and the store being filled.
class CsvLoad {
 public:
  CsvLoad(const std::string& csvPath, const CsvSchema& schema, const std::string& schemaSource,
          const CsvOptions& options, std::string& error)
      : fCsvPath(csvPath),
        fCsvName(CsvSourceName(csvPath)),
        fSchema(schema),
        fSchemaSource(schemaSource),
        fOptions(options),
        fError(error) {}
  CsvLoad(const CsvLoad&) = delete;
  CsvLoad& operator=(const CsvLoad&) = delete;

  std::unique_ptr<MemoryDataSource> Run();
  // Counts the data rows; -1 on error.
  int64_t Count();

 private:
  bool Fail(const std::string& message) {
    fError = message;
    return false;
  }
  bool Prepare();
  bool OpenReader(CsvReader& reader);
  bool ReadHeader(CsvReader& reader);
  bool BindColumns();
  bool FieldCountOk(const CsvReader& reader);
  bool SetWidthsFromData();
  bool Declare(MemoryDataSource& store);
  template <typename Sink>
  bool ReadRow(const CsvReader& reader, Sink& sink);
  bool ReadText(const CsvReader& reader, Binding& binding, std::string_view raw);
  bool OwnMissingValue(Binding& binding, std::string_view trimmed);
  bool IsMissingText(std::string_view raw, std::string_view trimmed) const;
  bool ToHost(std::string_view text, std::string& out, const CsvReader& reader, size_t column);
  std::string Unmarked(const Binding& binding) const;

  const std::string& fCsvPath;
  const std::string fCsvName;  // the data's name in messages
  const CsvSchema& fSchema;
  const std::string& fSchemaSource;
  const CsvOptions& fOptions;
  std::string& fError;

  TextConverter fFileToHost;
  bool fbSkipBom = true;
  std::vector<std::string> fvMissingTexts;  // in the file's encoding
  bool fbOnlyEmptyIsMissing = false;
  // What a string cell holding a missing-value text becomes: the shortest
  // of those texts, in the host encoding (the empty text when "" is one).
  bool fbHasMark = false;
  std::string fMissingMark;
  std::vector<std::string> fvColumnNames;
  std::vector<Binding> fvBindings;
  bool fbWidthsFromData = false;  // some string's width comes from the data
};

bool CsvLoad::Prepare() {
  if (!TextConverter::IsAsciiCompatible(fOptions.fEncoding)) {
    return Fail(fCsvName + ": the encoding \"" + fOptions.fEncoding +
                "\" is unknown or does not write ASCII characters as single bytes");
  }
  std::string why;
  if (!fFileToHost.Open(fOptions.fEncoding, HostEncoding(), why)) return Fail(fCsvName + ": " + why);
  fbSkipBom = IsUtf8(fOptions.fEncoding);
  // The schema's missing texts are UTF-8; cells are compared in the file's
  // encoding, and the mark is stored in the host's.
  TextConverter toFile, toHost;
  if (!toFile.Open("UTF-8", fOptions.fEncoding, why) || !toHost.Open("UTF-8", HostEncoding(), why)) {
    return Fail(fCsvName + ": " + why);
  }
  fvMissingTexts.clear();
  fbHasMark = false;
  for (const std::string& text : fSchema.fvMissingTexts) {
    std::string converted, host;
    if (!toFile.Convert(text, converted)) {
      return Fail(fSchemaSource + ": the missing value text " + Shown(text) +
                  " has no form in the encoding " + fOptions.fEncoding);
    }
    fvMissingTexts.push_back(std::string(Trim(converted)));
    if (!toHost.Convert(Trim(text), host)) {
      return Fail(fSchemaSource + ": the missing value text " + Shown(text) +
                  " cannot be converted to the host encoding " + HostEncoding());
    }
    if (!fbHasMark || host.size() < fMissingMark.size()) fMissingMark = host;
    fbHasMark = true;
  }
  fbOnlyEmptyIsMissing = fvMissingTexts.size() == 1 && fvMissingTexts[0].empty();
  return true;
}

bool CsvLoad::OpenReader(CsvReader& reader) {
  return reader.Open(fCsvPath, fOptions.fDelimiter, fbSkipBom, fError) && ReadHeader(reader);
}

bool CsvLoad::ReadHeader(CsvReader& reader) {
  int r = reader.Next(fError);
  if (r < 0) return false;
  if (r == 0) return Fail(fCsvName + ": the file is empty (it has no header row)");
  reader.SetColumnNames(&fvColumnNames);
  std::unordered_map<std::string, size_t> seen;
  for (size_t i = 0; i < reader.NumFields(); ++i) {
    std::string name;
    if (!fFileToHost.Convert(Trim(reader.Field(i)), name)) {
      return Fail(reader.Place(reader.RecordLine(), i + 1) + ": the column name " + Shown(reader.Field(i)) +
                  " is not valid text in the encoding " + fOptions.fEncoding);
    }
    fvColumnNames.push_back(name);
    if (name.empty()) continue;  // an unnamed column can only be ignored
    auto [it, inserted] = seen.emplace(Upper(name), i);
    if (!inserted) {
      return Fail(reader.Place(reader.RecordLine(), i + 1) + ": the column name repeats column " +
                  std::to_string(it->second + 1) + " (" + fvColumnNames[it->second] + ")");
    }
  }
  return true;
}

bool CsvLoad::BindColumns() {
  std::unordered_map<std::string, size_t> columns;
  for (size_t i = 0; i < fvColumnNames.size(); ++i) {
    if (!fvColumnNames[i].empty()) columns.emplace(Upper(fvColumnNames[i]), i);
  }
  std::string absent;
  for (size_t f = 0; f < fSchema.fvFields.size(); ++f) {
    const CsvField& field = fSchema.fvFields[f];
    auto found = columns.find(Upper(field.fSpec.fName));
    if (found == columns.end()) {
      absent += (absent.empty() ? "'" : ", '") + field.fSpec.fName + "'";
      continue;
    }
    Binding binding;
    binding.fpField = &field;
    binding.fFieldIndex = f;
    binding.fColumn = found->second;
    binding.fWidth = field.fSpec.fType;
    binding.fbString = field.fType == CsvFieldType::String;
    binding.fbWidthFromData = binding.fbString && field.fbWidthFromData;
    if (binding.fbString) {
      binding.fScratch.reserve(64);
      // The mark becomes one more user-missing value, when there is room
      // for it and it fits the field.
      const std::vector<std::string>& declared = field.fSpec.fMissingStrings;
      const bool known = std::find(declared.begin(), declared.end(), fMissingMark) != declared.end();
      binding.fbMarked =
          fbHasMark && (known || declared.size() < MAX_USER_MISSING_VALUES) &&
          (binding.fbWidthFromData || fMissingMark.size() <= static_cast<size_t>(binding.fWidth));
    }
    fbWidthsFromData = fbWidthsFromData || binding.fbWidthFromData;
    fvBindings.push_back(std::move(binding));
  }
  if (!absent.empty())
    return Fail(fCsvName + ": line 1: the header has no column for the schema field " + absent);
  return true;
}

bool CsvLoad::FieldCountOk(const CsvReader& reader) {
  if (reader.NumFields() == fvColumnNames.size()) return true;
  return Fail(reader.Place(reader.RecordLine(), 0) + ": the row has " + std::to_string(reader.NumFields()) +
              (reader.NumFields() == 1 ? " field" : " fields") + ", the header has " +
              std::to_string(fvColumnNames.size()));
}

bool CsvLoad::ToHost(std::string_view text, std::string& out, const CsvReader& reader, size_t column) {
  if (fFileToHost.Convert(text, out)) return true;
  return Fail(reader.Place(reader.RecordLine(), column + 1) + ": " + Shown(text) +
              " is not valid text in the encoding " + fOptions.fEncoding +
              " or cannot be written in the host encoding " + HostEncoding());
}

// The widths of strings without maxLength, once every row has been read.
bool CsvLoad::SetWidthsFromData() {
  for (Binding& binding : fvBindings) {
    if (!binding.fbWidthFromData) continue;
    size_t width = std::max<size_t>(binding.fLongest, 1);
    // Declared codes widen the field so that none of them is cut.
    for (const std::string& value : binding.fpField->fSpec.fMissingStrings)
      width = std::max(width, value.size());
    for (const auto& [value, label] : binding.fpField->fSpec.fStringLabels)
      width = std::max(width, value.size());
    if (binding.fbMarked) width = std::max(width, fMissingMark.size());
    if (width > static_cast<size_t>(MAX_STRING_WIDTH)) {
      return Fail(fSchemaSource + ": field " + std::to_string(binding.fFieldIndex + 1) + " '" +
                  binding.fpField->fSpec.fName +
                  "': a declared value is longer than the longest string (32767 bytes)");
    }
    binding.fWidth = static_cast<short>(width);
  }
  return true;
}

bool CsvLoad::Declare(MemoryDataSource& store) {
  std::vector<int> variableOfField(fSchema.fvFields.size(), -1);
  std::vector<const Binding*> bindingOfField(fSchema.fvFields.size(), nullptr);
  for (const Binding& binding : fvBindings) bindingOfField[binding.fFieldIndex] = &binding;
  for (size_t f = 0; f < fSchema.fvFields.size(); ++f) {
    const CsvField& field = fSchema.fvFields[f];
    VariableSpec spec = field.fSpec;
    if (field.fType == CsvFieldType::String) {
      const Binding& binding = *bindingOfField[f];
      spec.fType = binding.fWidth;
      if (binding.fbMarked && std::find(spec.fMissingStrings.begin(), spec.fMissingStrings.end(),
                                        fMissingMark) == spec.fMissingStrings.end()) {
        spec.fMissingStrings.push_back(fMissingMark);
      }
      if (!field.fbFormatGiven) {
        spec.fFormat = VORM_Format(VORM_Format::A, spec.fType, 0);
      } else if (field.fbWidthFromData && spec.fFormat.Width() != spec.fType) {
        return Fail(fSchemaSource + ": field " + std::to_string(f + 1) + " '" + field.fSpec.fName +
                    "': the print format A" + std::to_string(spec.fFormat.Width()) +
                    " is not as wide as the field, whose longest value in " + fCsvName + " has " +
                    std::to_string(spec.fType) + (spec.fType == 1 ? " byte" : " bytes") +
                    " (give maxLength " + std::to_string(spec.fFormat.Width()) + " or the format A" +
                    std::to_string(spec.fType) + ")");
      }
    }
    std::string why;
    int index = store.AddVariable(spec, &why);
    if (index < 0) {
      return Fail(fSchemaSource + ": field " + std::to_string(f + 1) + " '" + field.fSpec.fName +
                  "': " + (why.empty() ? std::string("the variable cannot be declared") : why));
    }
    variableOfField[f] = index;
  }
  for (Binding& binding : fvBindings) {
    binding.fVariable = variableOfField[binding.fFieldIndex];
    binding.fOffset = store.CellOffset(binding.fVariable);
  }
  return true;
}

bool CsvLoad::IsMissingText(std::string_view raw, std::string_view trimmed) const {
  if (fbOnlyEmptyIsMissing) return trimmed.empty();
  for (const std::string& text : fvMissingTexts) {
    if (trimmed == text || raw == text) return true;
  }
  return false;
}

// Why a string field cannot hold the missing mark.
std::string CsvLoad::Unmarked(const Binding& binding) const {
  if (!binding.fbWidthFromData && fMissingMark.size() > static_cast<size_t>(binding.fWidth)) {
    return "the shortest missing-value text is wider than the field (" + std::to_string(binding.fWidth) +
           (binding.fWidth == 1 ? " byte)" : " bytes)");
  }
  return "the field declares three user-missing values, which leave no room for the missing-value mark " +
         Shown(fMissingMark);
}

// Whether a missing-value text is one of the field's own user-missing
// values: it is then kept as written, so that the field's missing codes stay
// apart.
bool CsvLoad::OwnMissingValue(Binding& binding, std::string_view trimmed) {
  const std::vector<std::string>& declared = binding.fpField->fSpec.fMissingStrings;
  if (declared.empty() || !fFileToHost.Convert(trimmed, binding.fScratch)) return false;
  return std::find(declared.begin(), declared.end(), binding.fScratch) != declared.end();
}

// Reads a string cell into binding.fScratch: the missing mark for a
// missing-value text (unless the field declares that text a user-missing
// value), else the text without trailing blanks, checked against the
// field's width (or widening a width that comes from the data).
bool CsvLoad::ReadText(const CsvReader& reader, Binding& binding, std::string_view raw) {
  const size_t column = binding.fColumn + 1;
  if (fbHasMark && IsMissingText(raw, Trim(raw))) {
    if (OwnMissingValue(binding, Trim(raw))) return true;
    if (!binding.fbMarked) {
      return Fail(reader.Place(reader.RecordLine(), column) + ": " + Shown(raw) +
                  " is a missing-value text, but " + Unmarked(binding));
    }
    binding.fScratch = fMissingMark;
    return true;
  }
  // A NUL would end the value early wherever it is printed, so that
  // distinct values would look equal.
  if (const size_t nul = raw.find('\0'); nul != std::string_view::npos) {
    return Fail(reader.Place(reader.RecordLine(), column) + ": the text contains a NUL byte (byte " +
                std::to_string(nul + 1) + ")");
  }
  if (!ToHost(raw, binding.fScratch, reader, binding.fColumn)) return false;
  std::string& text = binding.fScratch;
  size_t length = text.size();
  while (length > 0 && text[length - 1] == ' ') --length;
  text.resize(length);
  if (binding.fbWidthFromData) {
    if (length > static_cast<size_t>(MAX_STRING_WIDTH)) {
      return Fail(reader.Place(reader.RecordLine(), column) + ": a value of " + std::to_string(length) +
                  " bytes is longer than the longest string (32767 bytes)");
    }
    binding.fLongest = std::max(binding.fLongest, length);
  } else if (length > static_cast<size_t>(binding.fWidth)) {
    return Fail(reader.Place(reader.RecordLine(), column) + ": " + Shown(raw) + " (" +
                std::to_string(length) + " bytes) is longer than the field's width " +
                std::to_string(binding.fWidth));
  }
  return true;
}

// Reads one row and hands its values to the sink in binding order. Allocates
// nothing once each string binding's scratch text has grown to its longest
// value (the staging sink grows its own store).
template <typename Sink>
bool CsvLoad::ReadRow(const CsvReader& reader, Sink& sink) {
  sink.StartRow();
  for (Binding& binding : fvBindings) {
    std::string_view raw = reader.Field(binding.fColumn);
    if (binding.fbString) {
      if (!ReadText(reader, binding, raw)) return false;
      sink.Text(binding, binding.fScratch);
      continue;
    }
    std::string_view trimmed = Trim(raw);
    if (IsMissingText(raw, trimmed)) {
      sink.Number(binding, VORM_SYSMIS);
      continue;
    }
    double value = 0.0;
    NumberStatus status = ParseCell(binding.fpField->fType, trimmed, value);
    if (status != NumberStatus::OK) {
      return Fail(reader.Place(reader.RecordLine(), binding.fColumn + 1) + ": " + Shown(raw) + " " +
                  Complaint(status));
    }
    sink.Number(binding, value);
  }
  return true;
}

std::unique_ptr<MemoryDataSource> CsvLoad::Run() {
  if (!Prepare()) return nullptr;
  CsvReader reader;
  if (!OpenReader(reader) || !BindColumns()) return nullptr;
  auto store = std::make_unique<MemoryDataSource>();
  // A string's width from the data is known only at the end: the rows wait
  // in the staging area until then, so that the file is read once (it may
  // be a pipe).
  StagingSink staging;
  StoreSink direct(*store);
  if (!fbWidthsFromData && !Declare(*store)) return nullptr;
  int64_t rows = 0;
  for (;;) {
    int r = reader.Next(fError);
    if (r < 0) return nullptr;
    if (r == 0) break;
    ++rows;
    PollInterrupt(rows);
    if (!FieldCountOk(reader)) return nullptr;
    if (fbWidthsFromData) {
      if (!ReadRow(reader, staging)) return nullptr;
      continue;
    }
    if (rows == ESTIMATE_AFTER_ROWS && reader.FileSize() > 0 && reader.BytesConsumed() > 0) {
      // Reserve for the rows the file size suggests, plus a little.
      double estimate = static_cast<double>(reader.FileSize()) / static_cast<double>(reader.BytesConsumed()) *
                        static_cast<double>(rows) * 1.02;
      store->Reserve(static_cast<size_t>(estimate) + 16);
    }
    if (!ReadRow(reader, direct)) return nullptr;
  }
  if (fbWidthsFromData) {
    if (!SetWidthsFromData() || !Declare(*store)) return nullptr;
    staging.CopyInto(*store, fvBindings);
  }
  return store;
}

int64_t CsvLoad::Count() {
  if (!Prepare()) return -1;
  CsvReader reader;
  if (!OpenReader(reader)) return -1;
  int64_t rows = 0;
  for (;;) {
    int r = reader.Next(fError);
    if (r < 0) return -1;
    if (r == 0) return rows;
    ++rows;
    PollInterrupt(rows);
    if (!FieldCountOk(reader)) return -1;
  }
}

std::string OutOfMemory(const std::string& csvPath, const char* what) {
  return CsvSourceName(csvPath) + ": cannot load the data: " + what;
}

std::unique_ptr<MemoryDataSource> Load(const std::string& csvPath, const CsvSchema& schema,
                                       const std::string& schemaSource, const CsvOptions& options,
                                       std::string& error) {
  try {
    CsvLoad load(csvPath, schema, schemaSource, options, error);
    return load.Run();
  } catch (const std::bad_alloc&) {
    error = OutOfMemory(csvPath, "out of memory");
  } catch (const std::exception& e) {
    error = OutOfMemory(csvPath, e.what());
  }
  return nullptr;
}

}  // namespace

std::string CsvSourceName(const std::string& csvPath) {
  return csvPath == STANDARD_INPUT ? "standard input" : csvPath;
}

std::unique_ptr<MemoryDataSource> LoadCsvDataSource(const std::string& csvPath, const std::string& schemaPath,
                                                    const CsvOptions& options, std::string& error) {
  CsvSchema schema;
  if (!LoadSchema(schemaPath, schema, error)) return nullptr;
  return Load(csvPath, schema, schemaPath, options, error);
}

std::unique_ptr<MemoryDataSource> LoadCsvDataSource(const std::string& csvPath, const CsvSchema& schema,
                                                    const CsvOptions& options, std::string& error) {
  return Load(csvPath, schema, "schema", options, error);
}

int64_t CountCsvRows(const std::string& csvPath, const CsvOptions& options, std::string& error) {
  try {
    CsvSchema none;
    CsvLoad load(csvPath, none, csvPath, options, error);
    return load.Count();
  } catch (const std::exception& e) {
    error = OutOfMemory(csvPath, e.what());
    return -1;
  }
}

}  // namespace standin
