#include <fmt/format.h>

#include "Summary.h"
#include "TextTable.h"

namespace kvo {
namespace {

std::string CountsText(const SplitSummary& split, bool partitioned) {
  TextTable table({false, true, true, true});
  table.AddRow({"cases", "read", "valid", "invalid"});
  table.AddRow({"plain", GroupDigits(split.fCases), GroupDigits(split.fValid), GroupDigits(split.fInvalid)});
  table.AddRow({"weighted", WeightedText(split.fWeightedCases), WeightedText(split.fWeightedValid),
                WeightedText(split.fWeightedInvalid)});
  std::string text = table.Render("  ");
  if (split.fInvalid > 0) {
    std::vector<std::string> reasons;
    const RefusalReasons& r = split.fReasons;
    if (r.fWeight > 0) reasons.push_back("weight " + GroupDigits(r.fWeight));
    for (size_t i = 0; i < r.fvMissing.size() && i < split.fvVariables.size(); ++i) {
      if (r.fvMissing[i] > 0)
        reasons.push_back(split.fvVariables[i].fName + " missing " + GroupDigits(r.fvMissing[i]));
    }
    if (r.fMatrix > 0) reasons.push_back("matrix " + GroupDigits(r.fMatrix));
    if (r.fPartition > 0) reasons.push_back("partitioning " + GroupDigits(r.fPartition));
    text += "  invalid because  " + Join(reasons, ", ") + "\n";
  }
  if (partitioned && split.fExcluded > 0) {
    text += fmt::format("  {} of the invalid cases had already been drawn into a partition\n",
                        GroupDigits(split.fExcluded));
  }
  return text;
}

std::string PartitionsText(const SplitSummary& split) {
  TextTable table({false, true, false});
  table.AddRow({"partition", "records", "file"});
  for (const PartitionSummary& partition : split.fvPartitions) {
    std::string file = partition.fFile ? *partition.fFile : "-";
    if (!partition.fvFoldRecords.empty()) {
      std::vector<std::string> folds;
      for (int64_t n : partition.fvFoldRecords) folds.push_back(GroupDigits(n));
      file += "  (folds: " + Join(folds, " / ") + ")";
    }
    table.AddRow({partition.fName, GroupDigits(partition.fRecords), file});
  }
  return table.Render("  ");
}

std::string VariablesText(const SplitSummary& split, bool partitioned) {
  TextTable categories({false, true, false, false, true});
  TextTable ranges({false, true, false, true});
  for (const VariableSummary& variable : split.fvVariables) {
    if (variable.fKind == SlotKind::Categorical) {
      if (variable.fvCategories.empty()) {
        categories.AddRow({variable.fName, "", "(no valid value)"});
        continue;
      }
      bool first = true;
      for (const CategorySummary& category : variable.fvCategories) {
        categories.AddRow({first ? variable.fName : "", std::to_string(category.fCode), category.fValue,
                           category.fLabel, GroupDigits(category.fCount)});
        first = false;
      }
      if (variable.fMissing > 0)
        categories.AddRow({"", "-1", "(missing)", "", GroupDigits(variable.fMissing)});
      if (variable.fUnseen > 0) {
        categories.AddRow({"", "", "unseen", "(values without a code)", GroupDigits(variable.fUnseen)});
      }
    } else if (variable.fMin && variable.fMax) {
      ranges.AddRow({variable.fName, ShortestText(*variable.fMin), "to", ShortestText(*variable.fMax)});
    } else {
      ranges.AddRow({variable.fName, "", "(no valid value)"});
    }
  }
  std::string text;
  if (!categories.Empty()) {
    text += "  categories (code, value, label, valid cases of the last pass)\n" + categories.Render("    ");
  }
  if (!ranges.Empty())
    text += std::string("  ranges") + (partitioned ? " of training" : "") + "\n" + ranges.Render("    ");
  return text;
}

}  // namespace

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : separator) + item;
  return joined;
}

std::string GroupTitle(const SplitSummary& split, size_t number, size_t count) {
  if (split.fvValues.empty()) return "All cases";
  std::vector<std::string> parts;
  for (const SplitValueSummary& value : split.fvValues) {
    std::string part = value.fName + " = " + value.fValue;
    if (!value.fLabel.empty()) part += " (" + value.fLabel + ")";
    parts.push_back(part);
  }
  return fmt::format("Split group {} of {}: {}", number, count, Join(parts, ", "));
}

std::string SummaryToText(const Summary& summary) {
  const RunDescription& run = summary.fRun;
  std::string text = fmt::format("kvo prepare: {}, {} cases\n", run.fDataPath, GroupDigits(summary.fCases));
  TextTable setup;
  if (!run.fWeight.empty()) setup.AddRow({"weight", run.fWeight});
  if (!run.fvSplitBy.empty()) setup.AddRow({"split by", Join(run.fvSplitBy, ", ")});
  if (!run.fPartitioning.empty()) setup.AddRow({"partitions", run.fPartitioning});
  if (run.fFolds > 0) setup.AddRow({"folds", std::to_string(run.fFolds) + " on the training partition"});
  if (!run.fvSortBy.empty()) setup.AddRow({"sorted by", Join(run.fvSortBy, ", ")});
  if (!run.fCodes.empty()) setup.AddRow({"codes", run.fCodes});
  setup.AddRow({"files", run.fOutDir.empty() ? "none written (use --out DIR)" : run.fOutDir});
  text += setup.Render("  ");

  text += fmt::format("\nRecord: {} slots\n", summary.fvRecord.size());
  TextTable record({true, false, false});
  record.AddRow({"slot", "name", "kind"});
  for (const SlotInfo& slot : summary.fvRecord) {
    record.AddRow({std::to_string(slot.fSlot), slot.fName, SlotKindName(slot.fKind)});
  }
  text += record.Render("  ");

  const bool partitioned = !run.fPartitioning.empty();
  for (size_t i = 0; i < summary.fvSplits.size(); ++i) {
    const SplitSummary& split = summary.fvSplits[i];
    text += "\n" + GroupTitle(split, i + 1, summary.fvSplits.size()) + "\n";
    text += CountsText(split, partitioned);
    text += "\n" + PartitionsText(split);
    const std::string variables = VariablesText(split, partitioned);
    if (!variables.empty()) text += "\n" + variables;
  }
  return text;
}

}  // namespace kvo
