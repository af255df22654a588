#include "Describe.h"

#include <fmt/format.h>
#include <vorm/Utility.h>

#include "DataSet.h"
#include "Summary.h"
#include "TextTable.h"
#include "standin/CsvLoader.h"

namespace kvo {
namespace {

using json = nlohmann::ordered_json;

const char* MeasureName(standin::Measure measure) {
  switch (measure) {
    case standin::Measure::Nominal:
      return "nominal";
    case standin::Measure::Ordinal:
      return "ordinal";
    case standin::Measure::Scale:
      return "scale";
  }
  return "scale";
}

json MissingJson(const standin::VariableSpec& spec) {
  json values = json::array();
  for (double v : spec.fMissingNumbers) values.push_back(v);
  for (const std::string& v : spec.fMissingStrings) values.push_back(v);
  if (spec.fHasMissingRange) {
    json out = {{"range", {spec.fMissingLow, spec.fMissingHigh}}};
    if (!values.empty()) out["value"] = values[0];
    return out;
  }
  if (values.empty()) return nullptr;
  return {{"values", values}};
}

std::string MissingText(const standin::VariableSpec& spec) {
  std::string text;
  if (spec.fHasMissingRange) text = ShortestText(spec.fMissingLow) + " to " + ShortestText(spec.fMissingHigh);
  for (double v : spec.fMissingNumbers) text += (text.empty() ? "" : ", ") + ShortestText(v);
  for (const std::string& v : spec.fMissingStrings) text += (text.empty() ? "'" : ", '") + v + "'";
  return text;
}

}  // namespace

std::string FormatText(const VORM_Format& format) {
  switch (format.Type()) {
    case VORM_Format::A:
      return fmt::format("A{}", format.Width());
    case VORM_Format::AHEX:
      return fmt::format("AHEX{}", format.Width());
    case VORM_Format::F:
      return fmt::format("F{}.{}", format.Width(), format.Decimals());
    case VORM_Format::E:
      return fmt::format("E{}.{}", format.Width(), format.Decimals());
    default:
      return fmt::format("type {} width {}", format.Type(), format.Width());
  }
}

json DescribeJson(standin::MemoryDataSource& data, const std::string& dataPath) {
  json variables = json::array();
  for (int i = 0; i < data.GetNumVariables(); ++i) {
    const standin::VariableSpec& spec = data.Declaration(i);
    json labels = json::array();
    for (const auto& [value, label] : spec.fNumericLabels)
      labels.push_back({{"value", value}, {"label", label}});
    for (const auto& [value, label] : spec.fStringLabels)
      labels.push_back({{"value", value}, {"label", label}});
    variables.push_back({{"index", i},
                         {"name", spec.fName},
                         {"label", spec.fLabel},
                         {"type", spec.fType == 0 ? "numeric" : "string"},
                         {"width", spec.fType == 0 ? spec.fFormat.Width() : spec.fType},
                         {"format", FormatText(spec.fFormat)},
                         {"measure", MeasureName(spec.fMeasure)},
                         {"valueLabels", std::move(labels)},
                         {"userMissing", MissingJson(spec)}});
  }
  return WithValidUtf8({{"file", dataPath}, {"cases", data.NumCases()}, {"variables", std::move(variables)}});
}

std::string DescribeText(standin::MemoryDataSource& data, const std::string& dataPath) {
  std::string text = fmt::format("{}: {} cases, {} variables\n\n", dataPath,
                                 GroupDigits(static_cast<int64_t>(data.NumCases())), data.GetNumVariables());
  TextTable table({true, false, false, false, false, false, false});
  table.AddRow({"#", "name", "label", "type", "format", "measure", "user-missing"});
  TextTable labels;
  for (int i = 0; i < data.GetNumVariables(); ++i) {
    const standin::VariableSpec& spec = data.Declaration(i);
    table.AddRow({std::to_string(i + 1), spec.fName, spec.fLabel,
                  spec.fType == 0 ? "numeric" : "string " + std::to_string(spec.fType),
                  FormatText(spec.fFormat), MeasureName(spec.fMeasure), MissingText(spec)});
    bool first = true;
    for (const auto& [value, label] : spec.fNumericLabels) {
      labels.AddRow({first ? spec.fName : "", ShortestText(value), label});
      first = false;
    }
    for (const auto& [value, label] : spec.fStringLabels) {
      labels.AddRow({first ? spec.fName : "", value, label});
      first = false;
    }
  }
  text += table.Render("");
  if (!labels.Empty()) text += "\nValue labels\n" + labels.Render("  ");
  return text;
}

std::string RunDescribe(const DescribeOptions& options) {
  std::unique_ptr<standin::MemoryDataSource> data = LoadDataSet(options.fLoad);
  // A Ctrl-C during the last rows of the load, after its final poll, takes
  // effect here.
  ATNJMP(Workspace());
  const std::string name = standin::CsvSourceName(options.fLoad.fDataPath);
  if (options.fbJson) return DescribeJson(*data, name).dump(2) + "\n";
  return DescribeText(*data, name);
}

}  // namespace kvo
