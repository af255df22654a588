#include "DataSet.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "InputFile.h"
#include "KvoError.h"
#include "standin/CsvLoader.h"

namespace kvo {
namespace {

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// Levenshtein distance of two short texts.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

}  // namespace

std::unique_ptr<standin::MemoryDataSource> LoadDataSet(const LoadOptions& options) {
  if (options.fDataPath != standin::STANDARD_INPUT) RequireRegularFile(options.fDataPath, "data file", true);
  RequireRegularFile(options.fSchemaPath, "schema");
  std::error_code ec;
  if (!options.fbSchemaGiven && !std::filesystem::exists(options.fSchemaPath, ec)) {
    throw UsageError("no schema for " + options.fDataPath + ": give one with --schema (there is no " +
                     options.fSchemaPath + ")");
  }
  standin::CsvOptions csv;
  csv.fDelimiter = options.fDelimiter;
  csv.fEncoding = options.fEncoding;
  std::string error;
  std::unique_ptr<standin::MemoryDataSource> data =
      standin::LoadCsvDataSource(options.fDataPath, options.fSchemaPath, csv, error);
  if (!data) {
    throw InputError(error.empty() ? standin::CsvSourceName(options.fDataPath) + ": cannot load the data"
                                   : error);
  }
  return data;
}

VariableResolver::VariableResolver(const VORM_DataSource& dataSource, std::string dataName)
    : fpDataSource(&dataSource), fDataName(std::move(dataName)) {}

int VariableResolver::Find(const std::string& name) const {
  int index = fpDataSource->FindVarIndex(name.c_str(), 0);
  if (index < 0) {
    std::string trimmed = Trimmed(name);
    if (!trimmed.empty() && trimmed != name) index = fpDataSource->FindVarIndex(trimmed.c_str(), 0);
  }
  return index < 0 ? -1 : index;
}

int VariableResolver::Resolve(const std::string& option, const std::string& name) const {
  int index = Find(name);
  if (index >= 0) return index;
  std::string message = option + ": there is no variable '" + name + "' in " + fDataName;
  std::string closest = ClosestName(name);
  if (!closest.empty()) message += " (did you mean '" + closest + "'?)";
  throw UsageError(message);
}

std::string VariableResolver::Name(int index) const {
  const VORM_Variable* variable = fpDataSource->GetVariable(index);
  return variable != nullptr ? variable->GetName() : std::string();
}

bool VariableResolver::IsString(int index) const {
  const VORM_Variable* variable = fpDataSource->GetVariable(index);
  return variable != nullptr && variable->GetType() != 0;
}

std::string VariableResolver::ClosestName(const std::string& name) const {
  const std::string wanted = Lower(Trimmed(name));
  std::string best;
  size_t bestDistance = std::max<size_t>(1, wanted.size() / 3) + 1;
  for (int i = 0; i < fpDataSource->GetNumVariables(); ++i) {
    std::string candidate = Name(i);
    size_t distance = EditDistance(wanted, Lower(candidate));
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best;
}

}  // namespace kvo
