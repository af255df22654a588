// Fuzz target: the stand-in host's schema reader (ParseSchema), and loading
// a header-only CSV file under every schema it accepts. The input is the
// schema's JSON text.
//
// Properties: a refused schema comes with a message that names the schema.
// An accepted one declares what a field can hold (a type, a width only for
// strings, at most three user-missing values, a range only on a numeric
// field); a file whose header names its fields either loads into a data set
// with those variables in schema order and no cases, or is refused with a
// message.
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "standin/CsvLoader.h"

namespace {

const std::string SOURCE = "fuzz.schema.json";

// The header row naming the schema's fields, each quoted.
std::string HeaderOf(const standin::CsvSchema& schema) {
  std::string header;
  for (const standin::CsvField& field : schema.fvFields) {
    if (!header.empty()) header += ',';
    header += '"';
    for (char c : field.fSpec.fName) {
      header += c;
      if (c == '"') header += '"';
    }
    header += '"';
  }
  return header + "\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  standin::CsvSchema schema;
  std::string error;
  if (!standin::ParseSchema(text, SOURCE, schema, error)) {
    FUZZ_CHECK(error.compare(0, SOURCE.size(), SOURCE) == 0);
    return 0;
  }
  for (const standin::CsvField& field : schema.fvFields) {
    const standin::VariableSpec& spec = field.fSpec;
    FUZZ_CHECK(!spec.fName.empty());
    const bool isString = field.fType == standin::CsvFieldType::String;
    FUZZ_CHECK(spec.fType >= 0);
    FUZZ_CHECK(isString || spec.fType == 0);
    FUZZ_CHECK(!field.fbWidthFromData || (isString && spec.fType == 0));
    FUZZ_CHECK(spec.fMissingNumbers.size() + spec.fMissingStrings.size() <= 3);
    FUZZ_CHECK(!spec.fHasMissingRange || !isString);
    FUZZ_CHECK(isString || (spec.fMissingStrings.empty() && spec.fStringLabels.empty()));
    FUZZ_CHECK(!isString || (spec.fMissingNumbers.empty() && spec.fNumericLabels.empty()));
  }

  kvo_fuzz::MemoryFile csv(HeaderOf(schema));
  error.clear();
  std::unique_ptr<standin::MemoryDataSource> loaded =
      standin::LoadCsvDataSource(csv.Path(), schema, standin::CsvOptions(), error);
  if (!loaded) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(loaded->NumCases() == 0);
  FUZZ_CHECK(loaded->GetNumVariables() == static_cast<int>(schema.fvFields.size()));
  for (size_t f = 0; f < schema.fvFields.size(); ++f) {
    const VORM_Variable* variable = loaded->GetVariable(static_cast<int>(f));
    FUZZ_CHECK(variable != nullptr);
    FUZZ_CHECK(variable->GetName() == schema.fvFields[f].fSpec.fName);
  }
  return 0;
}
