// The JSON schema of a CSV data set: fields with their types, labels,
// widths, measures, user-missing values and print formats, and the texts
// that mean system-missing.
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "TextConverter.h"
#include "standin/CsvLoader.h"
#include "standin/HostControl.h"

namespace standin {
namespace {

using Json = nlohmann::json;

constexpr int MAX_STRING_WIDTH = 32767;
constexpr int MAX_NUMERIC_FORMAT_WIDTH = 40;
constexpr int MAX_DECIMALS = 16;
constexpr size_t MAX_USER_MISSING_VALUES = 3;

std::string Upper(const std::string& text) { return GetUpperVarName(VormVarName(text)).str(); }

// Parses "F8.2", "E10.3", "A20" (letters in either case) for a field of the
// given type. Returns an empty text on success, else the reason.
std::string ParseFormat(const std::string& text, bool isString, VORM_Format& format) {
  const std::string bad = "invalid print format \"" + text + "\"";
  size_t i = 0;
  std::string letters;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
    letters.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(text[i]))));
    ++i;
  }
  auto readNumber = [&](long& value) {
    size_t start = i;
    value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - start < 6) {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    return i > start;
  };
  long width = 0, decimals = 0;
  if (!readNumber(width)) return bad + " (expected a letter F, E or A followed by a width)";
  bool hasDecimals = false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    hasDecimals = true;
    if (!readNumber(decimals)) return bad + " (no digits after the point)";
  }
  if (i != text.size()) return bad;
  int type = 0;
  if (letters == "F") {
    type = VORM_Format::F;
  } else if (letters == "E") {
    type = VORM_Format::E;
  } else if (letters == "A") {
    type = VORM_Format::A;
  } else {
    return bad + " (the format types are F, E and A)";
  }
  if (type == VORM_Format::A) {
    if (hasDecimals) return bad + " (an A format has no decimals)";
    if (!isString) return "the string format " + text + " does not suit a numeric field";
    if (width < 1 || width > MAX_STRING_WIDTH) return bad + " (the width of an A format is 1 to 32767)";
  } else {
    if (isString) return "the numeric format " + text + " does not suit a string field";
    if (decimals > MAX_DECIMALS) return bad + " (at most 16 decimals)";
    if (type == VORM_Format::F && (width < 1 || width > MAX_NUMERIC_FORMAT_WIDTH || decimals >= width)) {
      return bad + " (an F format is 1 to 40 wide, with fewer decimals than its width)";
    }
    if (type == VORM_Format::E && (width < 6 || width > MAX_NUMERIC_FORMAT_WIDTH || decimals > width - 6)) {
      return bad + " (an E format is 6 to 40 wide, with at most width - 6 decimals)";
    }
  }
  format = VORM_Format(type, static_cast<int>(width), static_cast<int>(decimals));
  return {};
}

// Reads one field's settings. Every method returns false after setting
// fError to a message that names the field.
class FieldReader {
 public:
  FieldReader(const std::string& source, size_t index, TextConverter& toHost, std::string& error)
      : fSource(source), fIndex(index), fToHost(toHost), fError(error) {}
  FieldReader(const FieldReader&) = delete;
  FieldReader& operator=(const FieldReader&) = delete;

  bool Read(const Json& object, CsvField& field);

 private:
  bool Fail(const std::string& what) {
    fError = fSource + ": field " + std::to_string(fIndex + 1);
    if (!fName.empty()) fError += " '" + fName + "'";
    fError += ": " + what;
    return false;
  }
  bool Text(const Json& value, const char* what, std::string& out) {
    if (!value.is_string()) return Fail(std::string(what) + " must be a text");
    if (!fToHost.Convert(value.get_ref<const std::string&>(), out)) {
      return Fail(std::string(what) + " cannot be converted to the host encoding");
    }
    return true;
  }
  // A number for a numeric field (booleans also take true and false).
  bool Number(const Json& value, const CsvField& field, const char* what, double& out) {
    if (value.is_number()) {
      out = value.get<double>();
      return NotSystemMissing(out, what, value);
    }
    if (value.is_boolean() && field.fType == CsvFieldType::Boolean) {
      out = value.get<bool>() ? 1.0 : 0.0;
      return true;
    }
    return Fail(std::string(what) + " must be a number for a numeric field");
  }
  // The lowest number is the host's system-missing value: no declared value
  // may equal it.
  bool NotSystemMissing(double number, const char* what, const Json& value) {
    if (number != VORM_SYSMIS) return true;
    return Fail(std::string(what) + " " + value.dump() + " equals the system-missing value");
  }
  bool StringValue(const Json& value, const CsvField& field, const char* what, std::string& out) {
    if (!value.is_string()) return Fail(std::string(what) + " must be a text for a string field");
    if (!Text(value, what, out)) return false;
    while (!out.empty() && out.back() == ' ') out.pop_back();
    if (!field.fbWidthFromData && out.size() > static_cast<size_t>(field.fSpec.fType)) {
      return Fail(std::string(what) + " \"" + out + "\" is longer than the field's width " +
                  std::to_string(field.fSpec.fType));
    }
    return true;
  }
  bool ReadType(const Json& object, CsvField& field);
  bool ReadWidth(const Json& object, CsvField& field);
  bool ReadCategories(const Json& object, CsvField& field);
  bool ReadUserMissing(const Json& object, CsvField& field);
  bool ReadMeasure(const Json& object, CsvField& field, bool hasCategories);
  bool ReadFormat(const Json& object, CsvField& field);

  const std::string& fSource;
  size_t fIndex;
  TextConverter& fToHost;
  std::string& fError;
  std::string fName;
};

bool FieldReader::Read(const Json& object, CsvField& field) {
  if (!object.is_object()) return Fail("a field must be an object");
  auto name = object.find("name");
  if (name == object.end()) return Fail("the field has no name");
  if (!Text(*name, "the name", fName)) return false;
  if (fName.empty()) return Fail("the name is empty");
  field.fSpec.fName = fName;
  if (auto title = object.find("title"); title != object.end()) {
    if (!Text(*title, "the title", field.fSpec.fLabel)) return false;
  }
  if (!ReadType(object, field) || !ReadWidth(object, field) || !ReadCategories(object, field) ||
      !ReadUserMissing(object, field) || !ReadFormat(object, field)) {
    return false;
  }
  auto categories = object.find("categories");
  return ReadMeasure(object, field, categories != object.end() && !categories->empty());
}

bool FieldReader::ReadType(const Json& object, CsvField& field) {
  auto type = object.find("type");
  if (type == object.end()) {  // a field without a type holds texts
    field.fType = CsvFieldType::String;
    return true;
  }
  if (!type->is_string()) return Fail("the type must be a text");
  std::string text = Upper(type->get<std::string>());
  if (text == "NUMBER") {
    field.fType = CsvFieldType::Number;
  } else if (text == "INTEGER") {
    field.fType = CsvFieldType::Integer;
  } else if (text == "STRING") {
    field.fType = CsvFieldType::String;
  } else if (text == "BOOLEAN") {
    field.fType = CsvFieldType::Boolean;
  } else {
    return Fail("unknown type \"" + type->get<std::string>() +
                "\" (the types are number, integer, string and boolean)");
  }
  return true;
}

bool FieldReader::ReadWidth(const Json& object, CsvField& field) {
  const bool isString = field.fType == CsvFieldType::String;
  auto constraints = object.find("constraints");
  const Json* maxLength = nullptr;
  if (constraints != object.end()) {
    if (!constraints->is_object()) return Fail("constraints must be an object");
    if (auto found = constraints->find("maxLength"); found != constraints->end()) maxLength = &*found;
  }
  if (maxLength == nullptr) {
    field.fSpec.fType = 0;
    field.fbWidthFromData = isString;
    return true;
  }
  if (!isString) return Fail("maxLength applies to string fields only");
  // Any whole number (2, 2.0, 1e3, a huge one) reads as its value; the range
  // check then speaks of the number as written.
  if (!maxLength->is_number()) return Fail("maxLength must be a whole number");
  const double width = maxLength->get<double>();
  if (width != std::trunc(width)) return Fail("maxLength must be a whole number");
  if (width < 1 || width > MAX_STRING_WIDTH) {
    return Fail("maxLength " + maxLength->dump() + " is outside 1 to 32767");
  }
  field.fSpec.fType = static_cast<short>(width);
  field.fbWidthFromData = false;
  return true;
}

bool FieldReader::ReadCategories(const Json& object, CsvField& field) {
  auto categories = object.find("categories");
  if (categories == object.end()) return true;
  if (!categories->is_array()) return Fail("categories must be a list");
  const bool isString = field.fType == CsvFieldType::String;
  for (const Json& category : *categories) {
    if (!category.is_object()) return Fail("each category must be an object with a value and a label");
    auto value = category.find("value");
    if (value == category.end()) return Fail("a category has no value");
    std::string label;
    if (auto found = category.find("label"); found != category.end()) {
      if (!Text(*found, "a category label", label)) return false;
    }
    if (isString) {
      std::string text;
      if (!StringValue(*value, field, "the category value", text)) return false;
      for (const auto& [known, knownLabel] : field.fSpec.fStringLabels) {
        if (known == text) return Fail("the category value \"" + text + "\" appears twice");
      }
      field.fSpec.fStringLabels.emplace_back(std::move(text), std::move(label));
    } else {
      double number = 0.0;
      if (!Number(*value, field, "the category value", number)) return false;
      for (const auto& [known, knownLabel] : field.fSpec.fNumericLabels) {
        if (known == number) return Fail("the category value " + value->dump() + " appears twice");
      }
      field.fSpec.fNumericLabels.emplace_back(number, std::move(label));
    }
  }
  return true;
}

bool FieldReader::ReadUserMissing(const Json& object, CsvField& field) {
  auto missing = object.find("userMissing");
  if (missing == object.end()) return true;
  if (!missing->is_object()) return Fail("userMissing must be an object");
  auto values = missing->find("values");
  auto range = missing->find("range");
  auto value = missing->find("value");
  const bool isString = field.fType == CsvFieldType::String;
  if (values != missing->end()) {
    if (range != missing->end() || value != missing->end()) {
      return Fail("userMissing takes either values or a range (with an optional value), not both");
    }
    if (!values->is_array()) return Fail("userMissing values must be a list");
    if (values->size() > MAX_USER_MISSING_VALUES) {
      return Fail("more than three user-missing values (" + std::to_string(values->size()) + ")");
    }
    for (const Json& item : *values) {
      if (isString) {
        std::string text;
        if (!StringValue(item, field, "a user-missing value", text)) return false;
        field.fSpec.fMissingStrings.push_back(std::move(text));
      } else {
        double number = 0.0;
        if (!Number(item, field, "a user-missing value", number)) return false;
        field.fSpec.fMissingNumbers.push_back(number);
      }
    }
    return true;
  }
  if (range == missing->end()) {
    return Fail(value != missing->end() ? "a user-missing value without a range goes in \"values\""
                                        : "userMissing needs values or a range");
  }
  if (isString) return Fail("a user-missing range needs a numeric field");
  if (!range->is_array() || range->size() != 2 || !(*range)[0].is_number() || !(*range)[1].is_number()) {
    return Fail("a user-missing range must be a list of two numbers [low, high]");
  }
  double low = (*range)[0].get<double>();
  double high = (*range)[1].get<double>();
  if (!NotSystemMissing(low, "the user-missing range's low end", (*range)[0]) ||
      !NotSystemMissing(high, "the user-missing range's high end", (*range)[1])) {
    return false;
  }
  if (low > high)
    return Fail("the user-missing range's low end " + (*range)[0].dump() + " is above its high end");
  field.fSpec.fHasMissingRange = true;
  field.fSpec.fMissingLow = low;
  field.fSpec.fMissingHigh = high;
  if (value != missing->end()) {
    double number = 0.0;
    if (!Number(*value, field, "the user-missing value", number)) return false;
    field.fSpec.fMissingNumbers.push_back(number);
  }
  return true;
}

bool FieldReader::ReadMeasure(const Json& object, CsvField& field, bool hasCategories) {
  auto measure = object.find("measure");
  if (measure == object.end()) {
    field.fSpec.fMeasure =
        field.fType == CsvFieldType::String || hasCategories ? Measure::Nominal : Measure::Scale;
    return true;
  }
  if (!measure->is_string()) return Fail("the measure must be a text");
  std::string text = Upper(measure->get<std::string>());
  if (text == "NOMINAL") {
    field.fSpec.fMeasure = Measure::Nominal;
  } else if (text == "ORDINAL") {
    field.fSpec.fMeasure = Measure::Ordinal;
  } else if (text == "SCALE") {
    field.fSpec.fMeasure = Measure::Scale;
  } else {
    return Fail("unknown measure \"" + measure->get<std::string>() +
                "\" (the measures are nominal, ordinal and scale)");
  }
  return true;
}

bool FieldReader::ReadFormat(const Json& object, CsvField& field) {
  const bool isString = field.fType == CsvFieldType::String;
  auto format = object.find("printFormat");
  if (format == object.end()) {
    field.fbFormatGiven = false;
    if (isString) {
      field.fSpec.fFormat = VORM_Format(VORM_Format::A, field.fSpec.fType, 0);
    } else if (field.fType == CsvFieldType::Number) {
      field.fSpec.fFormat = VORM_Format(VORM_Format::F, 8, 2);
    } else {
      field.fSpec.fFormat = VORM_Format(VORM_Format::F, 8, 0);
    }
    return true;
  }
  if (!format->is_string()) return Fail("printFormat must be a text such as \"F8.2\"");
  std::string why = ParseFormat(format->get<std::string>(), isString, field.fSpec.fFormat);
  if (!why.empty()) return Fail(why);
  // A string prints with exactly its own bytes; a field without maxLength
  // is checked once the data have given its width.
  const int width = field.fSpec.fFormat.Width();
  if (isString && !field.fbWidthFromData && width != field.fSpec.fType) {
    return Fail("the print format " + format->get<std::string>() +
                " is not as wide as the field (maxLength " + std::to_string(field.fSpec.fType) +
                "; the format must be A" + std::to_string(field.fSpec.fType) + ")");
  }
  field.fbFormatGiven = true;
  return true;
}

// Line and column (1-based) of a byte position of a text.
std::string TextPosition(const std::string& text, size_t byte) {
  size_t line = 1, column = 0;
  for (size_t i = 0; i < byte && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 0;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column == 0 ? 1 : column);
}

// Finds where the parser meets a number beyond the range of doubles: the
// keys and list positions that lead to it, and its text. Builds nothing.
class OverflowFinder final : public nlohmann::json_sax<Json> {
 public:
  struct Level {
    bool fbList = false;
    size_t fIndex = 0;  // a list's current item
    std::string fKey;   // an object's current key
  };

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override {
    fvLevels.push_back(Level{});
    return true;
  }
  bool key(string_t& key) override {
    fvLevels.back().fKey = key;
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override {
    fvLevels.push_back(Level{true, 0, {}});
    return true;
  }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t position, const std::string& token, const Json::exception& e) override {
    if (e.id == NUMBER_OVERFLOW) {
      fbFound = true;
      fEnd = position;
      fToken = token;
    }
    return false;
  }

  bool Found() const { return fbFound; }
  const std::vector<Level>& Levels() const { return fvLevels; }
  const std::string& Token() const { return fToken; }
  // The byte just after the number.
  size_t TokenEnd() const { return fEnd; }

 private:
  static constexpr int NUMBER_OVERFLOW = 406;

  bool Value() {
    if (!fvLevels.empty() && fvLevels.back().fbList) ++fvLevels.back().fIndex;
    return true;
  }
  bool Close() {
    fvLevels.pop_back();
    return Value();
  }

  std::vector<Level> fvLevels;
  bool fbFound = false;
  size_t fEnd = 0;
  std::string fToken;
};

// Numbers too large for a double taken out of a schema's text to find the
// name of the field with the first of them.
constexpr int MAX_PATCHED_NUMBERS = 16;

// The message for a number too large for a double, naming the field (and
// the key within it) or the place in the text; empty when the parser did
// not stop at such a number.
std::string OverflowMessage(const std::string& jsonText, const std::string& sourceName) {
  OverflowFinder finder;
  Json::sax_parse(jsonText, &finder);
  if (!finder.Found()) return {};
  const std::vector<OverflowFinder::Level>& levels = finder.Levels();
  const std::string what = "the number " + finder.Token() + " is out of the range of numbers";
  const bool inField = levels.size() >= 3 && levels[0].fKey == "fields" && levels[1].fbList;
  std::string path;
  for (size_t i = inField ? 2 : 0; i < levels.size(); ++i) {
    if (levels[i].fbList) {
      path += "[" + std::to_string(levels[i].fIndex) + "]";
    } else {
      path += (path.empty() ? "" : ".") + levels[i].fKey;
    }
  }
  if (!inField) {
    const size_t begin =
        finder.TokenEnd() >= finder.Token().size() ? finder.TokenEnd() - finder.Token().size() : 0;
    return sourceName + ": " + (path.empty() ? TextPosition(jsonText, begin) : path) + ": " + what;
  }
  const size_t index = levels[1].fIndex;
  std::string message = sourceName + ": field " + std::to_string(index + 1);
  // The field's name may follow the number: read it from the text with the
  // numbers that are too large taken out (a few of them; a text full of
  // them is named by the field's position alone).
  std::string patched = jsonText;
  for (int tries = 0; tries < MAX_PATCHED_NUMBERS; ++tries) {
    const size_t end = finder.TokenEnd();
    const size_t size = finder.Token().size();
    if (end < size || patched.compare(end - size, size, finder.Token()) != 0) break;
    patched.replace(end - size, size, "null");
    const Json root = Json::parse(patched, nullptr, false);
    if (!root.is_discarded()) {
      auto fields = root.find("fields");
      if (root.is_object() && fields != root.end() && fields->is_array() && index < fields->size() &&
          (*fields)[index].is_object()) {
        const Json& field = (*fields)[index];
        if (auto name = field.find("name"); name != field.end() && name->is_string()) {
          message += " '" + name->get<std::string>() + "'";
        }
      }
      break;
    }
    finder = OverflowFinder();
    Json::sax_parse(patched, &finder);
    if (!finder.Found()) break;
  }
  return message + ": " + (path.empty() ? "" : path + ": ") + what;
}

bool ParseSchemaText(const std::string& jsonText, const std::string& sourceName, CsvSchema& schema,
                     std::string& error) {
  Json root;
  try {
    root = Json::parse(jsonText);
  } catch (const Json::out_of_range&) {
    error = OverflowMessage(jsonText, sourceName);
    if (error.empty()) error = sourceName + ": invalid JSON: a value is out of range";
    return false;
  } catch (const Json::parse_error& e) {
    // The library's message repeats the position; keep only its reason.
    std::string reason = e.what();
    size_t column = reason.find("column ");
    size_t colon = column == std::string::npos ? std::string::npos : reason.find(": ", column);
    if (colon != std::string::npos) reason = reason.substr(colon + 2);
    error = sourceName + ": invalid JSON at " + TextPosition(jsonText, e.byte) + ": " + reason;
    return false;
  }
  if (!root.is_object()) {
    error = sourceName + ": the schema must be a JSON object with a \"fields\" list";
    return false;
  }
  TextConverter toHost;
  if (!toHost.Open("UTF-8", HostEncoding(), error)) {
    error = sourceName + ": " + error;
    return false;
  }
  auto fields = root.find("fields");
  if (fields == root.end() || !fields->is_array()) {
    error = sourceName + ": the schema has no \"fields\" list";
    return false;
  }
  if (fields->empty()) {
    error = sourceName + ": the \"fields\" list is empty";
    return false;
  }
  std::unordered_map<std::string, size_t> seen;  // upper-case name -> field
  for (size_t i = 0; i < fields->size(); ++i) {
    CsvField field;
    FieldReader reader(sourceName, i, toHost, error);
    if (!reader.Read((*fields)[i], field)) return false;
    auto [it, inserted] = seen.emplace(Upper(field.fSpec.fName), i);
    if (!inserted) {
      const size_t j = it->second;
      error = sourceName + ": field " + std::to_string(i + 1) + " '" + field.fSpec.fName +
              "': the name repeats field " + std::to_string(j + 1) + " '" + schema.fvFields[j].fSpec.fName +
              "'";
      return false;
    }
    schema.fvFields.push_back(std::move(field));
  }
  if (auto missing = root.find("missingValues"); missing != root.end()) {
    if (!missing->is_array()) {
      error = sourceName + ": missingValues must be a list of texts";
      return false;
    }
    schema.fvMissingTexts.clear();
    for (const Json& text : *missing) {
      if (!text.is_string()) {
        error = sourceName + ": missingValues must be a list of texts, not " + text.dump();
        return false;
      }
      schema.fvMissingTexts.push_back(text.get<std::string>());
    }
  }
  return true;
}

}  // namespace

bool ParseSchema(const std::string& jsonText, const std::string& sourceName, CsvSchema& schema,
                 std::string& error) {
  schema = CsvSchema();
  try {
    if (ParseSchemaText(jsonText, sourceName, schema, error)) return true;
  } catch (const std::exception& e) {
    error = sourceName + ": cannot read the schema: " + e.what();
  }
  schema = CsvSchema();
  return false;
}

bool LoadSchema(const std::string& schemaPath, CsvSchema& schema, std::string& error) {
  try {
    std::error_code ec;
    if (std::filesystem::is_directory(schemaPath, ec)) {
      error = schemaPath + ": cannot read the schema file: it is a directory";
      return false;
    }
    std::ifstream in(schemaPath, std::ios::binary);
    if (!in) {
      error = schemaPath + ": cannot open the schema file";
      return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
      error = schemaPath + ": cannot read the schema file";
      return false;
    }
    return ParseSchema(text.str(), schemaPath, schema, error);
  } catch (const std::exception& e) {
    error = schemaPath + ": cannot read the schema: " + e.what();
    return false;
  }
}

}  // namespace standin
