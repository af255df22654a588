#include "MatrixFile.h"

#include <vorm/Utility.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "InputFile.h"
#include "KvoError.h"

namespace kvo {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string TrimBlanks(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

bool ParseNumber(const std::string& text, double& value) {
  std::string trimmed = TrimBlanks(text);
  if (trimmed.empty()) return false;
  const char* first = trimmed.data();
  const char* last = first + trimmed.size();
  if (*first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && ptr == last && std::isfinite(value);
}

}  // namespace

std::vector<CsvRow> SplitCsvText(const std::string& text, char delimiter, const std::string& name) {
  std::vector<CsvRow> rows;
  CsvRow row;
  std::string field;
  int line = 1;
  bool inQuotes = false, fieldStarted = false;
  row.fLine = 1;
  size_t i = 0;
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;  // byte order mark
  auto endRow = [&]() {
    if (fieldStarted || !row.fvFields.empty() || !field.empty()) {
      row.fvFields.push_back(field);
      rows.push_back(row);
    }
    row = CsvRow{};
    field.clear();
    fieldStarted = false;
  };
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (inQuotes) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field.push_back('"');
          ++i;
        } else {
          inQuotes = false;
        }
      } else {
        if (c == '\n') ++line;
        field.push_back(c);
      }
      continue;
    }
    if (c == '"' && field.empty()) {
      inQuotes = true;
      fieldStarted = true;
    } else if (c == delimiter) {
      row.fvFields.push_back(field);
      field.clear();
      fieldStarted = true;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      // the \n ends the row
    } else if (c == '\n') {
      endRow();
      ++line;
      row.fLine = line;
    } else {
      field.push_back(c);
    }
  }
  if (inQuotes) throw InputError(name + ": line " + std::to_string(row.fLine) + ": a quote is never closed");
  endRow();
  return rows;
}

std::unique_ptr<MatrixRecode> ReadMatrixFile(const std::string& path, const std::vector<int>& varIndices,
                                             const VORM_DataSource& dataSource, char delimiter) {
  RequireRegularFile(path, "matrix file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot open the matrix file: " + std::strerror(errno));
  std::ostringstream buffer;
  buffer << in.rdbuf();
  std::vector<CsvRow> rows = SplitCsvText(buffer.str(), delimiter, path);
  if (rows.empty()) throw InputError(path + ": the matrix file is empty (it needs a header row)");

  auto recode = std::make_unique<MatrixRecode>();
  recode->fvVarIndices = varIndices;
  recode->fPath = path;
  std::vector<std::string> names;
  std::string expected;
  for (int index : varIndices) {
    const VORM_Variable* variable = dataSource.GetVariable(index);
    names.push_back(variable->GetName());
    recode->fvFormats.push_back(variable->GetFormat());
    expected += std::string(variable->GetName()) + ", ";
  }
  expected += "value";

  // The header: the variables in order, then "value".
  const CsvRow& header = rows.front();
  if (header.fvFields.size() != names.size() + 1) {
    throw InputError(path + ": line 1: the header has " + std::to_string(header.fvFields.size()) +
                     " columns; it must name " + expected);
  }
  for (size_t c = 0; c <= names.size(); ++c) {
    std::string want = c < names.size() ? names[c] : "value";
    if (Lower(TrimBlanks(header.fvFields[c])) != Lower(want)) {
      throw InputError(path + ": line 1, column " + std::to_string(c + 1) + ": '" + header.fvFields[c] +
                       "' where the header names " + want + " (the header must name " + expected + ")");
    }
  }
  if (rows.size() == 1) throw InputError(path + ": the matrix file has no combination rows");

  ObsVecMap::KeySpec keySpec = ObsVecMap::MakeKeySpec(dataSource, varIndices);
  recode->fpMap = std::make_unique<ObsVecMap>(keySpec, 1);
  size_t keyCells = 0;
  for (short type : keySpec) keyCells += static_cast<size_t>(VORM_CellCount(type));
  std::vector<OBS> key(keyCells);
  std::unordered_map<std::string, int> seenOnLine;
  const std::unique_ptr<void, void (*)(void*)> converter(VORMMBConverterNew_A(nullptr),
                                                         VORMMBConverterDelete_A);

  for (size_t r = 1; r < rows.size(); ++r) {
    const CsvRow& row = rows[r];
    const std::string where = path + ": line " + std::to_string(row.fLine);
    if (row.fvFields.size() != names.size() + 1) {
      throw InputError(where + ": the row has " + std::to_string(row.fvFields.size()) +
                       " fields, the header " + std::to_string(names.size() + 1));
    }
    size_t cell = 0;
    for (size_t v = 0; v < names.size(); ++v) {
      const std::string& text = row.fvFields[v];
      const std::string column = where + ", column " + std::to_string(v + 1) + " (" + names[v] + ")";
      const int type = keySpec[v];
      if (type == 0) {
        double number = 0.0;
        if (!ParseNumber(text, number)) throw InputError(column + ": '" + text + "' is not a number");
        // The map takes -0 and 0 as one value: store 0, so that a repeat is found.
        key[cell].num = number == 0.0 ? 0.0 : number;
        ++cell;
      } else {
        const size_t cells = static_cast<size_t>(VORM_CellCount(type));
        // The file is UTF-8; the data's strings are in the host's encoding.
        std::string value;
        if (converter == nullptr || VORMMBU8ToGeneric(converter.get(), value, text) != 0) {
          throw InputError(column + ": the text is not valid UTF-8 or has no form in the host's encoding");
        }
        while (!value.empty() && value.back() == ' ') value.pop_back();
        if (value.size() > static_cast<size_t>(type)) {
          throw InputError(column + ": '" + text + "' is longer than the variable's width of " +
                           std::to_string(type));
        }
        char* bytes = key[cell].str;
        std::memset(bytes, ' ', cells * sizeof(OBS));
        std::memcpy(bytes, value.data(), value.size());
        cell += cells;
      }
    }
    double value = 0.0;
    if (!ParseNumber(row.fvFields[names.size()], value)) {
      throw InputError(where + ", column " + std::to_string(names.size() + 1) + " (value): '" +
                       row.fvFields[names.size()] + "' is not a number");
    }
    std::string keyBytes(reinterpret_cast<const char*>(key.data()), keyCells * sizeof(OBS));
    auto [it, inserted] = seenOnLine.emplace(keyBytes, row.fLine);
    if (!inserted) {
      throw InputError(where + ": the combination repeats line " + std::to_string(it->second));
    }
    OBS* extra = recode->fpMap->Insert(key.data());
    extra[0].num = value;
  }
  return recode;
}

}  // namespace kvo
