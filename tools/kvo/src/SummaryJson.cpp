#include <vorm/Types.h>

#include "Summary.h"
#include "TextTable.h"

namespace kvo {
namespace {

using json = nlohmann::ordered_json;

json Optional(const std::optional<double>& value) { return value ? json(*value) : json(nullptr); }

json OptionalArray(const std::vector<std::optional<double>>& values) {
  json array = json::array();
  for (const std::optional<double>& value : values) array.push_back(Optional(value));
  return array;
}

json VariableJson(const VariableSummary& variable) {
  json out = {{"slot", variable.fSlot}, {"name", variable.fName}, {"kind", SlotKindName(variable.fKind)}};
  if (variable.fKind == SlotKind::Categorical) {
    json categories = json::array();
    for (const CategorySummary& category : variable.fvCategories) {
      categories.push_back({{"code", category.fCode},
                            {"value", category.fValue},
                            {"label", category.fLabel},
                            {"key", category.fNumber ? json(*category.fNumber) : json(category.fText)},
                            {"count", category.fCount},
                            {"weighted", category.fWeighted},
                            {"byPartition", category.fvByPartition}});
    }
    out["categories"] = std::move(categories);
    out["missing"] = {{"count", variable.fMissing}, {"weighted", variable.fMissingWeighted}};
    out["unseen"] = variable.fUnseen;
    out["missingByPartition"] = variable.fvMissingByPartition;
    out["unseenByPartition"] = variable.fvUnseenByPartition;
  } else {
    out["min"] = Optional(variable.fMin);
    out["max"] = Optional(variable.fMax);
    if (variable.fHistogram) {
      out["histogram"] = {{"start", variable.fHistogram->fStart},
                          {"width", variable.fHistogram->fWidth},
                          {"counts", variable.fHistogram->fvCounts}};
    } else {
      out["histogram"] = nullptr;
    }
  }
  return out;
}

json PartitionJson(const PartitionSummary& partition) {
  json out = {{"name", partition.fName},
              {"records", partition.fRecords},
              {"file", partition.fFile ? json(*partition.fFile) : json(nullptr)},
              {"min", OptionalArray(partition.fvMin)},
              {"max", OptionalArray(partition.fvMax)},
              {"mean", OptionalArray(partition.fvMean)},
              {"meanSquare", OptionalArray(partition.fvMeanSquare)}};
  if (!partition.fvFoldRecords.empty()) out["folds"] = partition.fvFoldRecords;
  return out;
}

json SplitJson(const SplitSummary& split) {
  json values = json::array();
  for (const SplitValueSummary& value : split.fvValues) {
    values.push_back({{"name", value.fName}, {"value", value.fValue}, {"label", value.fLabel}});
  }
  json variables = json::array();
  for (const VariableSummary& variable : split.fvVariables) variables.push_back(VariableJson(variable));
  json partitions = json::array();
  for (const PartitionSummary& partition : split.fvPartitions) partitions.push_back(PartitionJson(partition));
  json missing = json::object();
  for (size_t i = 0; i < split.fvVariables.size() && i < split.fReasons.fvMissing.size(); ++i) {
    missing[split.fvVariables[i].fName] = split.fReasons.fvMissing[i];
  }
  return {{"values", std::move(values)},
          {"cases", split.fCases},
          {"valid", split.fValid},
          {"invalid", split.fInvalid},
          {"weighted",
           {{"cases", split.fWeightedCases},
            {"valid", split.fWeightedValid},
            {"invalid", split.fWeightedInvalid}}},
          {"excluded", split.fExcluded},
          {"reasons",
           {{"weight", split.fReasons.fWeight},
            {"missing", std::move(missing)},
            {"matrix", split.fReasons.fMatrix},
            {"partition", split.fReasons.fPartition}}},
          {"variables", std::move(variables)},
          {"partitions", std::move(partitions)}};
}

}  // namespace

nlohmann::ordered_json SummaryToJson(const Summary& summary) {
  json record = json::array();
  for (const SlotInfo& slot : summary.fvRecord) {
    record.push_back({{"slot", slot.fSlot}, {"name", slot.fName}, {"kind", SlotKindName(slot.fKind)}});
  }
  json splits = json::array();
  for (const SplitSummary& split : summary.fvSplits) splits.push_back(SplitJson(split));
  return WithValidUtf8({{"settings", summary.fRun.fSettings},
                        {"cases", summary.fCases},
                        {"record", std::move(record)},
                        {"splits", std::move(splits)}});
}

json WithValidUtf8(json value) {
  if (value.is_string()) return ValidUtf8(value.get_ref<const std::string&>());
  if (value.is_array()) {
    for (json& element : value) element = WithValidUtf8(std::move(element));
  } else if (value.is_object()) {
    json object = json::object();
    for (auto& [key, element] : value.items()) object[ValidUtf8(key)] = WithValidUtf8(std::move(element));
    return object;
  }
  return value;
}

void FillStatistics(PartitionSummary& partition, const std::vector<SlotInfo>& record,
                    const std::vector<double>& min, const std::vector<double>& max,
                    const std::vector<double>& mean, const std::vector<double>& meanSquare) {
  const size_t n = record.size();
  partition.fvMin.assign(n, std::nullopt);
  partition.fvMax.assign(n, std::nullopt);
  partition.fvMean.assign(n, std::nullopt);
  partition.fvMeanSquare.assign(n, std::nullopt);
  for (size_t i = 0; i < n; ++i) {
    if (record[i].fKind == SlotKind::Categorical) continue;
    if (i < min.size() && min[i] != VORM_SYSMIS) partition.fvMin[i] = min[i];
    if (i < max.size() && max[i] != VORM_SYSMIS) partition.fvMax[i] = max[i];
    partition.fvMean[i] = i < mean.size() ? mean[i] : 0.0;
    partition.fvMeanSquare[i] = i < meanSquare.size() ? meanSquare[i] : 0.0;
  }
}

}  // namespace kvo
