// JSON rendering of a component variable list.
#include "standin/VarListJson.h"

#include <nlohmann/json.hpp>

namespace standin {
namespace {

const char* KindName(QorXML::QorVarList::Entry::Kind kind) {
  switch (kind) {
    case QorXML::QorVarList::Entry::Categorical:
      return "categorical";
    case QorXML::QorVarList::Entry::Continuous:
      return "continuous";
    case QorXML::QorVarList::Entry::Weight:
      return "weight";
  }
  return "unknown";
}

nlohmann::ordered_json EntryJson(int index, const QorXML::QorVarList::Entry& entry) {
  nlohmann::ordered_json out;
  out["index"] = index;
  out["kind"] = KindName(entry.fKind);
  out["name"] = entry.fName;
  out["label"] = entry.fLabel;
  out["valueType"] = entry.fValueType;
  out["measureLevel"] = entry.fMeasureLevel;
  out["role"] = entry.fRole;
  switch (entry.fKind) {
    case QorXML::QorVarList::Entry::Categorical:
      out["categoryCount"] = entry.fCategoryCount;
      if (!entry.fNumericValues.empty()) out["values"] = entry.fNumericValues;
      if (!entry.fStringValues.empty()) out["values"] = entry.fStringValues;
      if (!entry.fValueLabels.empty()) out["valueLabels"] = entry.fValueLabels;
      break;
    case QorXML::QorVarList::Entry::Continuous:
      out["min"] = entry.fMin;
      out["max"] = entry.fMax;
      out["contFlag"] = entry.fContFlag;
      out["contNumber"] = entry.fContNumber;
      break;
    case QorXML::QorVarList::Entry::Weight:
      out["rounding"] = entry.fRounding;
      break;
  }
  nlohmann::ordered_json missing = nlohmann::ordered_json::object();
  nlohmann::ordered_json values = nlohmann::ordered_json::array();
  for (const auto& [value, label] : entry.fMissingNumbers)
    values.push_back({{"value", value}, {"label", label}});
  for (const auto& [value, label] : entry.fMissingStrings)
    values.push_back({{"value", value}, {"label", label}});
  if (!values.empty()) missing["values"] = std::move(values);
  if (entry.fHasMissingRange) missing["range"] = {{"low", entry.fMissingLow}, {"high", entry.fMissingHigh}};
  if (!missing.empty()) out["missing"] = std::move(missing);
  return out;
}

}  // namespace

std::string VarListToJson(const QorXML::QorVarList& list, int indent) {
  nlohmann::ordered_json variables = nlohmann::ordered_json::array();
  for (int i = 0; i < list.Size(); ++i) {
    if (const auto* entry = list.GetEntry(i)) variables.push_back(EntryJson(i, *entry));
  }
  nlohmann::ordered_json document;
  document["variables"] = std::move(variables);
  return document.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace standin
