// What a kvo prepare run found: the record layout, and per split group the
// case counts of the last pass, the categories and ranges the adapters
// gathered, and the partitions with their record counts, files and
// statistics. Rendered as JSON (summary.json, --json) or as the readable
// report. Plain values; any thread.
#ifndef KVO_TOOL_SUMMARY_H
#define KVO_TOOL_SUMMARY_H

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "RecordLayout.h"

namespace kvo {

struct CategorySummary {
  int fCode = 0;
  std::string fValue;  // in the variable's print format, trimmed
  std::string fLabel;  // the value label, or ""
  // The value exactly: a number, or a string's text without trailing
  // blanks (UTF-8); what --codes-from reads back.
  std::optional<double> fNumber;
  std::string fText;
  // Valid cases of the last pass with this code, plainly and weighted.
  int64_t fCount = 0;
  double fWeighted = 0.0;
  // The same per partition of the split group, in the order of its
  // partitions (empty when not known, as in a summary of an older run).
  std::vector<int64_t> fvByPartition;
};

// A continuous variable's values in the records of each partition, over
// bins shared by the partitions (Histogram.h).
struct HistogramSummary {
  double fStart = 0.0;  // the first bin's lower edge
  double fWidth = 0.0;  // every bin's width
  // Per partition of the split group, one count per bin.
  std::vector<std::vector<int64_t>> fvCounts;
};

// A categorical or continuous record variable of one split group.
struct VariableSummary {
  int fSlot = 0;
  std::string fName;
  SlotKind fKind = SlotKind::Categorical;
  std::vector<CategorySummary> fvCategories;  // categorical
  std::optional<double> fMin, fMax;           // continuous; empty when no value was seen
  // Categorical: valid cases of the last pass whose record holds code -1
  // (kept with --missing include), plainly and weighted; and valid values
  // that had no code (unseen in training, or in the saved codes).
  int64_t fMissing = 0;
  double fMissingWeighted = 0.0;
  int64_t fUnseen = 0;
  // Categorical: fMissing and fUnseen per partition of the split group (empty
  // when not known). Continuous: the histogram, when a value was seen.
  std::vector<int64_t> fvMissingByPartition, fvUnseenByPartition;
  std::optional<HistogramSummary> fHistogram;
};

struct PartitionSummary {
  std::string fName;  // records, training, test or holdout
  int64_t fRecords = 0;
  std::optional<std::string> fFile;  // relative to --out; empty when no file was written
  // Per record slot; empty entries for categorical slots, and for min and max
  // where no value was seen.
  std::vector<std::optional<double>> fvMin, fvMax, fvMean, fvMeanSquare;
  // Records per cross-validation fold (training partition with --folds).
  std::vector<int64_t> fvFoldRecords;
};

// Why the cases of a split group that gave no record were refused; one
// reason per case, so the counts add up to the group's invalid cases.
struct RefusalReasons {
  int64_t fWeight = 0;             // a weight adjusted to zero
  std::vector<int64_t> fvMissing;  // per record variable (categorical, then continuous): the first missing
  int64_t fMatrix = 0;             // a combination without a matrix specification
  int64_t fPartition = 0;          // refused by the partitioning
  int64_t Total() const {
    int64_t total = fWeight + fMatrix + fPartition;
    for (int64_t n : fvMissing) total += n;
    return total;
  }
};

struct SplitValueSummary {
  std::string fName, fValue, fLabel;
};

struct SplitSummary {
  std::vector<SplitValueSummary> fvValues;  // empty without split groups
  int64_t fCases = 0, fValid = 0, fInvalid = 0;
  double fWeightedCases = 0.0, fWeightedValid = 0.0, fWeightedInvalid = 0.0;
  int64_t fExcluded = 0;
  // Per reason; fvMissing follows fvVariables.
  RefusalReasons fReasons;
  std::vector<VariableSummary> fvVariables;
  std::vector<PartitionSummary> fvPartitions;
};

// How the run was set up, for the report's heading.
struct RunDescription {
  // Every option's effective value, for summary.json: enough to run again.
  nlohmann::ordered_json fSettings;
  std::string fDataPath;
  std::string fWeight;
  std::vector<std::string> fvSplitBy;
  std::string fPartitioning;  // "" or e.g. "70/30 at random (seed 2000000)"
  std::vector<std::string> fvSortBy;
  std::string fOutDir;
  int fFolds = 0;
  std::string fCodes;  // how the categories were numbered
};

struct Summary {
  RunDescription fRun;
  int64_t fCases = 0;  // data rows in the file
  std::vector<SlotInfo> fvRecord;
  std::vector<SplitSummary> fvSplits;
};

// The summary in its documented JSON form. Texts that are not UTF-8 have
// each bad byte replaced by U+FFFD (ValidUtf8), so the JSON can be written.
nlohmann::ordered_json SummaryToJson(const Summary& summary);
// `value` with every text in it (keys and strings) passed through ValidUtf8.
nlohmann::ordered_json WithValidUtf8(nlohmann::ordered_json value);
// `items` with `separator` between them.
std::string Join(const std::vector<std::string>& items, const std::string& separator);
// A split group's heading: "All cases", or "Split group 2 of 3: country = 2
// (Portugal)".
std::string GroupTitle(const SplitSummary& split, size_t number, size_t count);
// The readable report, lines ending in '\n'.
std::string SummaryToText(const Summary& summary);
// The summary read back from its JSON form; `path` names the file in
// messages. Throws an input error naming the path and the place of a field
// that is missing or of the wrong type. Fields that older runs did not
// write (the per-partition counts and the histograms) may be absent.
Summary SummaryFromJson(const nlohmann::ordered_json& json, const std::string& path);
// Reads and checks a summary.json file (SummaryFromJson).
Summary ReadSummaryFile(const std::string& path);

// Builds a partition's statistics entries from the library's tables (one
// value per slot, system-missing for "no value"), leaving categorical slots
// empty.
void FillStatistics(PartitionSummary& partition, const std::vector<SlotInfo>& record,
                    const std::vector<double>& min, const std::vector<double>& max,
                    const std::vector<double>& mean, const std::vector<double>& meanSquare);

}  // namespace kvo

#endif  // KVO_TOOL_SUMMARY_H
