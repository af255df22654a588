#include "PrepareRun.h"

#include <kvoadapter/KVODataFileIter.h>
#include <kvoadapter/KVOInpAdaptMsg.h>
#include <kvoadapter/KVOInputAdapter.h>
#include <kvoadapter/KVOPartitionAdapter.h>
#include <kvoadapter/KVOProcDataSourceIter.h>
#include <kvoadapter/KVOStopProcessor.h>
#include <kvoadapter/KVOUniformRandom.h>
#include <vorm/ProcOutput.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "CategoryCodes.h"
#include "DataSet.h"
#include "KvoError.h"
#include "OutputDirectory.h"
#include "RecordCopyComponent.h"
#include "RecordFiles.h"
#include "RecordLayout.h"
#include "Report.h"
#include "RunAdapter.h"
#include "SlotStatistics.h"
#include "TextTable.h"
#include "standin/CsvLoader.h"
#include "standin/HostControl.h"

namespace kvo {
namespace {

namespace fs = std::filesystem;

constexpr const char* PARTITION_NAMES[] = {"training", "test", "holdout"};

// The data-pass iterator writes the local case counter after the record
// step, but the partitioning adapter stores the record in its partition
// files during that step; writing the counter first keeps it in the files
// and in their statistics.
class CountingPartitionAdapter : public RunAdapter<KVOPartitionAdapter> {
 public:
  using RunAdapter<KVOPartitionAdapter>::RunAdapter;
  bool PreprocessRecord(double* record) override {
    StoreCaseCount(record);
    return RunAdapter<KVOPartitionAdapter>::PreprocessRecord(record);
  }
};

void Warn(const std::string& text) { BpError(BpString(text, false), BpShowFull, BpLevelWarning); }

WeightAdjType ToWeightAdjType(WeightAdjust adjust) {
  switch (adjust) {
    case WeightAdjust::Round:
      return WeightRound;
    case WeightAdjust::Truncate:
      return WeightTruncate;
    case WeightAdjust::AsIs:
      return WeightAsIs;
  }
  return WeightRound;
}

// The data must come in one run of cases per split group. Rows that the
// weight filter drops are not read, so they do not count. Returns the case
// number that ends each group (the row before the next group's first, or
// the last row); one group without split variables.
std::vector<int64_t> CheckSplitOrder(const standin::MemoryDataSource& data, const RecordLayout& layout,
                                     KVOVarValidSpecs& specs, const std::string& dataName) {
  const int64_t lastCase = data.NumCases() > 0 ? data.CaseNumber(data.NumCases() - 1) : 0;
  std::vector<int64_t> groupEnds;
  const std::vector<int>& vars = layout.SplitVariables();
  if (vars.empty()) return {lastCase};
  const int weight = layout.WeightVariable();
  const size_t weightOffset = weight >= 0 ? data.CellOffset(weight) : 0;
  std::vector<size_t> offsets, cells;
  for (int index : vars) {
    offsets.push_back(data.CellOffset(index));
    cells.push_back(static_cast<size_t>(VORM_CellCount(data.GetVariable(index)->GetType())));
  }
  std::set<std::string> finished;
  std::string current, key;
  bool started = false;
  for (size_t row = 0; row < data.NumCases(); ++row) {
    const OBS* cellsOfRow = data.Row(row);
    if (weight >= 0) {
      const double w = cellsOfRow[weightOffset].num;
      if (w == VORM_SYSMIS || !(w > 0.0)) continue;
    }
    key.clear();
    for (size_t v = 0; v < vars.size(); ++v) {
      key.append(reinterpret_cast<const char*>(cellsOfRow + offsets[v]), cells[v] * sizeof(OBS));
    }
    if (started && key == current) continue;
    if (started) {
      finished.insert(current);
      groupEnds.push_back(data.CaseNumber(row) - 1);
    }
    if (finished.count(key) != 0) {
      std::string group;
      for (size_t v = 0; v < vars.size(); ++v) {
        const VORM_Variable* variable = data.GetVariable(vars[v]);
        group += std::string(group.empty() ? "" : ", ") + variable->GetName() + " = " +
                 specs.ConvertObsToString(cellsOfRow + offsets[v], variable->GetFormat(), true);
      }
      throw InputError(dataName + ": case " + std::to_string(data.CaseNumber(row)) +
                       ": the data are not sorted by the split variables: the group " + group +
                       " starts again after other groups (sort the file by them first)");
    }
    current = key;
    started = true;
  }
  groupEnds.push_back(lastCase);
  return groupEnds;
}

// Gives reasons to the cases the library refused before the adapter saw
// them, from the rows themselves: a weight that adjusts to zero (rows with
// a missing, zero or negative weight are not read at all), otherwise, with
// strong listwise deletion, the first record variable in record order whose
// value is missing, or a matrix variable.
class RowAudit : public SkippedCases {
 public:
  RowAudit(const standin::MemoryDataSource& data, const RecordLayout& layout, const PrepareOptions& options)
      : fData(data),
        fAdjust(options.fWeightAdjust),
        fbUserMissingValid(options.fUserMissing == UserMissing::Include) {
    if (layout.WeightVariable() >= 0)
      fWeightOffset = static_cast<std::ptrdiff_t>(data.CellOffset(layout.WeightVariable()));
    if (!options.fbStrongListwise) return;
    for (const SlotInfo& slot : layout.Slots()) {
      if (slot.fKind == SlotKind::Categorical || slot.fKind == SlotKind::Continuous)
        fvVariables.push_back(slot.fHostIndex);
    }
    for (const std::unique_ptr<MatrixRecode>& matrix : layout.Matrices()) {
      fvMatrixVariables.insert(fvMatrixVariables.end(), matrix->fvVarIndices.begin(),
                               matrix->fvVarIndices.end());
    }
  }

  void Classify(int64_t after, int64_t before, RefusalReasons& reasons) const override {
    // Case numbers rise with the rows.
    size_t low = 0, high = fData.NumCases();
    while (low < high) {
      const size_t middle = low + (high - low) / 2;
      if (fData.CaseNumber(middle) <= after)
        low = middle + 1;
      else
        high = middle;
    }
    for (size_t row = low; row < fData.NumCases() && fData.CaseNumber(row) < before; ++row) {
      const OBS* cells = fData.Row(row);
      if (fWeightOffset >= 0) {
        const double w = cells[fWeightOffset].num;
        if (w == VORM_SYSMIS || !(w > 0.0)) continue;  // not read
        if ((fAdjust == WeightAdjust::Round && w < 0.5) || (fAdjust == WeightAdjust::Truncate && w < 1.0)) {
          ++reasons.fWeight;
          continue;
        }
      }
      const size_t missing = FirstMissing(cells, fvVariables);
      if (missing < fvVariables.size()) {
        ++reasons.fvMissing[missing];
      } else if (FirstMissing(cells, fvMatrixVariables) < fvMatrixVariables.size()) {
        ++reasons.fMatrix;
      }
    }
  }

 private:
  // The position in `variables` of the first whose value is missing under
  // the user-missing rule, or the list's size.
  size_t FirstMissing(const OBS* cells, const std::vector<int>& variables) const {
    for (size_t i = 0; i < variables.size(); ++i) {
      const VORM_Variable* variable = fData.GetVariable(variables[i]);
      const OBS* value = cells + fData.CellOffset(variables[i]);
      if (variable->GetType() == 0 && value->num == VORM_SYSMIS) return i;
      if (!fbUserMissingValid && variable->IsUserMissingValue(value)) return i;
    }
    return variables.size();
  }

  const standin::MemoryDataSource& fData;
  WeightAdjust fAdjust;
  bool fbUserMissingValid;
  std::ptrdiff_t fWeightOffset = -1;
  std::vector<int> fvVariables, fvMatrixVariables;
};

fs::path MakeDirectory(const fs::path& directory) {
  std::error_code error;
  fs::create_directories(directory, error);
  if (error || !fs::is_directory(directory)) {
    throw InputError("--out: cannot create the directory " + directory.string() + ": " +
                     (error ? error.message() : "a file of that name is in the way"));
  }
  return directory;
}

// Everything the passes share.
class Procedure {
 public:
  // `outDir`: where the record files go (the staging directory of --out;
  // empty for none).
  // `seeds`: the categories to start from (null: none). `groupEnds`: the
  // case number that ends each split group.
  Procedure(const PrepareOptions& options, Progress& progress, standin::MemoryDataSource& data,
            RecordLayout& layout, KVOStopProcessor& stop, std::string outDir, const CategorySeeds* seeds,
            std::vector<int64_t> groupEnds)
      : fOptions(options),
        fProgress(progress),
        fData(data),
        fLayout(layout),
        fStop(stop),
        fOutDir(std::move(outDir)),
        fpSeeds(seeds),
        fvGroupEnds(std::move(groupEnds)),
        fAudit(data, layout, options) {
    for (const SlotInfo& slot : fLayout.Slots()) {
      if (slot.fKind == SlotKind::Categorical) fvCatSlots.push_back(slot.fSlot);
      if (slot.fKind == SlotKind::Categorical || slot.fKind == SlotKind::Continuous) {
        fvVarSlots.push_back(slot.fSlot);
      }
      if (slot.fKind == SlotKind::Weight) fWeightSlot = slot.fSlot;
    }
  }

  template <class Adapter>
  void Setup(RunAdapter<Adapter>& adapter) {
    adapter.SetWeightAdjType(ToWeightAdjType(fOptions.fWeightAdjust));
    if (!fLayout.SplitVariables().empty()) adapter.SetSplitFile(fBpProcedure, false, true, true);
    adapter.SetCoding(fvCatSlots, fOptions.fMissing == MissingRule::Include, fpSeeds);
    adapter.SetReasons(fvVarSlots, &fAudit);
  }

  // The next split group, if any. A last group whose cases were all refused
  // gives no record, so NewSplit reports the end of the data although the
  // adapter counted the group: it is visited too. `done`: the groups of
  // this pass so far.
  template <class Adapter>
  static bool NextGroup(const RunAdapter<Adapter>& adapter, KVOProcDataSourceIter& records, int done) {
    if (!adapter.GetSplitFile()) return false;
    return records.NewSplit() || adapter.GetSplitCount() > done;
  }

  // The reasons of split group `group` (from 1) of the current pass.
  template <class Adapter>
  RefusalReasons Reasons(RunAdapter<Adapter>& adapter, int group) const {
    const size_t index = static_cast<size_t>(group - 1);
    return adapter.TakeReasons(index < fvGroupEnds.size() ? fvGroupEnds[index] : fvGroupEnds.back());
  }

  // After a split group of the pass that gathers the categories: a group
  // the saved codes lack ends the run; --order value renumbers the group's
  // categories before any record is written with them.
  template <class Adapter>
  void EndCollectingGroup(RunAdapter<Adapter>& adapter) {
    CheckGroupsKnown(adapter);
    if (fOptions.fOrder == CodeOrder::Value && adapter.GetDataPassCount() == 0) {
      for (int slot : fvCatSlots) adapter.ReorderRecordCats(slot, true);
    }
  }

  // A group whose cases were all refused for want of saved codes gives no
  // record, so the pass may end without a visit to it: checked after each
  // group and after the pass.
  template <class Adapter>
  void CheckGroupsKnown(const RunAdapter<Adapter>& adapter) const {
    if (!adapter.UnknownGroup().empty()) {
      throw InputError(fOptions.fCodesFrom + ": --codes-from: the earlier run has no split group " +
                       adapter.UnknownGroup() + " (its codes cannot be applied to it)");
    }
  }

  // Adds a split group's values without a code to the run's totals.
  void AddUnseen(const std::vector<int64_t>& unseen) {
    fvUnseenTotal.resize(unseen.size(), 0);
    for (size_t i = 0; i < unseen.size(); ++i) fvUnseenTotal[i] += unseen[i];
  }

  // One warning line for the values that got no code, if any.
  void NoteUnseen() const {
    std::string counts;
    for (size_t i = 0; i < fvUnseenTotal.size(); ++i) {
      if (fvUnseenTotal[i] == 0) continue;
      counts += (counts.empty() ? "" : ", ") + fLayout.Slots()[static_cast<size_t>(fvCatSlots[i])].fName +
                " " + GroupDigits(fvUnseenTotal[i]);
    }
    if (counts.empty()) return;
    const std::string fate = fOptions.fMissing == MissingRule::Include ? "given code -1" : "deleted";
    if (fpSeeds != nullptr && fpSeeds->Closed()) {
      Warn("values without a code in " + fOptions.fCodesFrom + ": " + counts + "; their cases were " + fate);
    } else {
      Warn("values not seen in training: " + counts + "; their test and holdout cases were " + fate);
    }
  }

  std::function<void()> ProgressFor(const KVOProcDataSourceIter& records) {
    return [this, &records] {
      if (ProcDSIterator* host = records.GetProcDS()) fProgress.Update(host->GetCaseNumber());
    };
  }

  void CheckPass(const KVOProcDataSourceIter& records) const {
    if (records.GetFailReason() == 3) {
      throw InputError(standin::CsvSourceName(fOptions.fLoad.fDataPath) +
                       ": the host could not read the cases (a fatal data error)");
    }
  }

  // The directory of split group `group` (from 1) under --out, made on use.
  std::string GroupDirectory(int group) const {
    return fLayout.SplitVariables().empty() ? "all" : "split-" + std::to_string(group);
  }

  // Writes a record file as text under --out (sorted by --sort-by unless
  // it already is); returns its path relative to --out.
  std::string Export(KVODataFileIter& file, const KVOInputAdapter& adapter, bool alreadySorted, int group,
                     const std::string& name) {
    const std::string relative = GroupDirectory(group) + "/" + name + RecordFileEnding(fOptions.fFormat);
    MakeDirectory(fs::path(fOutDir) / GroupDirectory(group));
    const std::string path = (fs::path(fOutDir) / relative).string();
    const std::string shown = (fs::path(fOptions.fOutDir) / relative).string();
    bool ok = false;
    if (alreadySorted || fLayout.SortKeys().empty()) {
      fProgress.Step("writing " + shown);
      ok = RecordCopyComponent::Export(file, fOptions.fFormat, SlotNames(), path);
    } else {
      fProgress.Step("sorting " + shown);
      KVODataFileIter sorted(adapter, fLayout.SortKeys(), -1);
      if (!sorted.HasValidTempFile()) throw InputError(TempFileProblem(sorted.GetErrorNumber()));
      const bool hasRecords = file.NewPass() == 0;
      if (!sorted.FillDataFile(file) && (hasRecords || !sorted.HasValidTempFile())) {
        throw InputError("cannot sort the records for " + shown + ": " +
                         (sorted.GetErrorNumber() != 0 ? TempFileProblem(sorted.GetErrorNumber())
                                                       : "the sort failed in " + standin::TempDirectory()));
      }
      if (sorted.GetRecordCount() != file.GetRecordCount()) {
        throw InputError("cannot sort the records for " + shown + ": " + GroupDigits(file.GetRecordCount()) +
                         " records went in, " + GroupDigits(sorted.GetRecordCount()) + " came out");
      }
      fProgress.Step("writing " + shown);
      ok = RecordCopyComponent::Export(sorted, fOptions.fFormat, SlotNames(), path);
    }
    if (!ok) {
      const int error = errno;
      throw InputError(shown + ": cannot write the record file: " + std::strerror(error != 0 ? error : EIO));
    }
    return relative;
  }

  // The message for a temporary file that could not be created, written or
  // read back, with the system's reason.
  static std::string TempFileProblem(int error) {
    return "cannot write a temporary record file in " + standin::TempDirectory() + ": " +
           std::strerror(error != 0 ? error : EIO) + " (free some space or set TMPDIR)";
  }

  // Ends the run when the partitioning adapter lost a temporary file.
  static void CheckTempFiles(const KVOPartitionAdapter& adapter) {
    if (!adapter.HasValidTempFiles()) throw InputError(TempFileProblem(adapter.GetTempFileErrorNumber()));
  }

  // The records a file holds must be the records counted for it.
  static void CheckRecordCount(const KVODataFileIter* file, int64_t counted, const std::string& what) {
    const int64_t written = file != nullptr ? file->GetRecordCount() : 0;
    if (written != counted) {
      throw InputError(what + ": " + GroupDigits(counted) + " records were counted but " +
                       GroupDigits(written) + " reached the temporary file in " + standin::TempDirectory());
    }
  }

  // The counts of the last pass, the split values and the categories and
  // ranges the current group's adapters gathered.
  std::vector<std::string> SlotNames() const {
    std::vector<std::string> names;
    for (const SlotInfo& slot : fLayout.Slots()) names.push_back(slot.fName);
    return names;
  }

  // `statistics`: the records of the group's last pass; `unseen`: the
  // values that got no code.
  SplitSummary Collect(const KVOInputAdapter& adapter, const SlotStatistics& statistics,
                       const UnseenValues& unseen) const {
    const std::vector<int64_t> unseenTotal = unseen.Total();
    const size_t parts = statistics.Partitions();
    SplitSummary split;
    split.fCases = adapter.GetNCases();
    split.fValid = adapter.GetNValidCases();
    split.fInvalid = adapter.GetNInvalidCases();
    split.fWeightedCases = adapter.GetWeightNCases();
    split.fWeightedValid = adapter.GetWeightNValidCases();
    split.fWeightedInvalid = adapter.GetWeightNInvalidCases();
    if (adapter.GetSplitFile() && adapter.GetSplitCount() > 0) {
      std::vector<std::string> names, variableLabels, values, labels;
      adapter.GetSplitNamesAndLabels(names, variableLabels);
      adapter.GetSplitValuesAndLabels(values, labels);
      for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
        split.fvValues.push_back(SplitValueSummary{names[i], values[i], labels[i]});
      }
    }
    size_t catIndex = 0;
    for (const SlotInfo& slot : fLayout.Slots()) {
      if (slot.fKind != SlotKind::Categorical && slot.fKind != SlotKind::Continuous) continue;
      VariableSummary variable;
      variable.fSlot = slot.fSlot;
      variable.fName = slot.fName;
      variable.fKind = slot.fKind;
      if (slot.fKind == SlotKind::Categorical) {
        const size_t at = static_cast<size_t>(slot.fSlot);
        const VORM_Variable* host = fData.GetVariable(slot.fHostIndex);
        const std::vector<int64_t>& counts = statistics.CodeCounts()[at];
        const std::vector<double>& weights = statistics.CodeWeights()[at];
        const int n = adapter.GetRecordCatVarSize(slot.fSlot);
        for (int code = 0; code < n; ++code) {
          const OBS* value = adapter.DecodeRecordCatValue(slot.fSlot, code);
          const char* label = VORM_ValueLabelMap(host->GetValueLabels()).GetLabel(value);
          CategorySummary category;
          category.fCode = code;
          category.fValue = fLayout.Specs().ConvertObsToString(value, host->GetFormat(), true);
          category.fLabel = label ? label : "";
          if (host->GetType() == 0) {
            category.fNumber = value->num;
          } else {
            category.fText = StringKeyText(value, host->GetType());
          }
          const size_t index = static_cast<size_t>(code);
          category.fCount = index < counts.size() ? counts[index] : 0;
          category.fWeighted = index < weights.size() ? weights[index] : 0.0;
          for (size_t p = 0; p < parts; ++p) {
            const std::vector<int64_t>& inPart = statistics.CodeCounts(p)[at];
            category.fvByPartition.push_back(index < inPart.size() ? inPart[index] : 0);
          }
          variable.fvCategories.push_back(std::move(category));
        }
        variable.fMissing = statistics.MissingCounts()[at];
        variable.fMissingWeighted = statistics.MissingWeights()[at];
        variable.fUnseen = catIndex < unseenTotal.size() ? unseenTotal[catIndex] : 0;
        for (size_t p = 0; p < parts; ++p) {
          variable.fvMissingByPartition.push_back(statistics.MissingCounts(p)[at]);
          const std::vector<int64_t>* inPart =
              p < unseen.fvByPartition.size() ? &unseen.fvByPartition[p] : nullptr;
          variable.fvUnseenByPartition.push_back(
              inPart != nullptr && catIndex < inPart->size() ? (*inPart)[catIndex] : 0);
        }
        ++catIndex;
      } else {
        const double min = adapter.GetRecMinValue(slot.fSlot);
        const double max = adapter.GetRecMaxValue(slot.fSlot);
        if (min != VORM_SYSMIS) variable.fMin = min;
        if (max != VORM_SYSMIS) variable.fMax = max;
        if (const Histogram* histogram = statistics.HistogramOf(slot.fSlot)) {
          Histogram::Bins bins = histogram->Result();
          if (bins.fWidth > 0.0)
            variable.fHistogram = HistogramSummary{bins.fStart, bins.fWidth, std::move(bins.fvCounts)};
        }
      }
      split.fvVariables.push_back(std::move(variable));
    }
    return split;
  }

  void NoteEmptyGroup(const SplitSummary& split) {
    if (split.fValid == 0 && !fLayout.SplitVariables().empty()) KVOInpAdaptMsg(fData).NoValidCasesSplit();
  }

  template <class Adapter>
  void NoteBadMatrixCases(const RunAdapter<Adapter>& adapter) {
    constexpr int64_t shown = RunAdapter<Adapter>::MATRIX_REPORTS;
    if (adapter.BadCases() > shown) {
      Warn(GroupDigits(adapter.BadCases() - shown) +
           " more cases had a combination without a matrix specification (only the first " +
           std::to_string(shown) + " are shown)");
    }
  }

  // The statistics of a split group's last pass: per partition (from the
  // record's partition indicator), with a histogram of every continuous
  // record variable.
  SlotStatistics GroupStatistics(int partitions) const {
    std::vector<bool> mask;
    std::vector<int> continuous;
    for (const SlotInfo& slot : fLayout.Slots()) {
      mask.push_back(slot.fKind == SlotKind::Categorical);
      if (slot.fKind == SlotKind::Continuous) continuous.push_back(slot.fSlot);
    }
    SlotStatistics statistics(std::move(mask), fWeightSlot);
    statistics.KeepPartitions(partitions > 1 ? fLayout.PartitionSlot() : -1, static_cast<size_t>(partitions),
                              continuous);
    return statistics;
  }

  // One data pass; each split group's records go to a record file. With
  // --order value a first pass gathers the categories, which are then
  // renumbered before the second pass writes the records.
  void RunPlain(Summary& summary) {
    RunAdapter<KVOInputAdapter> adapter(&fLayout.Specs(), fData);
    Setup(adapter);
    const int64_t total = static_cast<int64_t>(fData.NumCases());
    const bool collectFirst = fOptions.fOrder == CodeOrder::Value;
    fProgress.Start(collectFirst ? "pass 1 of 2" : "reading", total);
    KVOProcDataSourceIter records(adapter, true);
    RecordCopyComponent component(fStop, ProgressFor(records));
    if (collectFirst) {
      int collected = 0;
      do {
        ++collected;
        component.Read(records);
        CheckPass(records);
        EndCollectingGroup(adapter);
        adapter.TakeUnseen();
        Reasons(adapter, collected);
      } while (NextGroup(adapter, records, collected));
      CheckGroupsKnown(adapter);
      fProgress.Start("pass 2 of 2", total);
      records.NewPass();
      CheckPass(records);
    }
    const bool sorting = !fLayout.SortKeys().empty();
    int group = 0;
    do {
      ++group;
      std::unique_ptr<KVODataFileIter> file =
          sorting ? std::make_unique<KVODataFileIter>(adapter, fLayout.SortKeys(), -1)
                  : std::make_unique<KVODataFileIter>(adapter);
      if (!file->HasValidTempFile()) throw InputError(TempFileProblem(file->GetErrorNumber()));
      SlotStatistics statistics = GroupStatistics(1);
      bool ok = false;
      const int64_t count = component.Write(records, *file, statistics, ok);
      CheckPass(records);
      EndCollectingGroup(adapter);
      if (!ok) throw InputError(TempFileProblem(file->GetErrorNumber()));
      CheckRecordCount(file.get(), count, "records");

      const UnseenValues unseen = adapter.TakeUnseen();
      AddUnseen(unseen.Total());
      SplitSummary split = Collect(adapter, statistics, unseen);
      split.fReasons = Reasons(adapter, group);
      PartitionSummary partition;
      partition.fName = "records";
      partition.fRecords = count;
      FillStatistics(partition, fLayout.Slots(), statistics.Min(), statistics.Max(), statistics.Mean(),
                     statistics.MeanSquare());
      if (!fOutDir.empty()) partition.fFile = Export(*file, adapter, true, group, "records");
      split.fvPartitions.push_back(std::move(partition));
      NoteEmptyGroup(split);
      summary.fvSplits.push_back(std::move(split));
    } while (NextGroup(adapter, records, group));
    CheckGroupsKnown(adapter);
    fProgress.Finish();
    NoteBadMatrixCases(adapter);
    NoteUnseen();
  }

  // Two passes: the first gathers categories from training cases, the
  // second writes the partition files and statistics.
  void RunPartitioned(Summary& summary) {
    KVOUniformRandom random;
    std::unique_ptr<CountingPartitionAdapter> adapter;
    int nParts = 0;
    if (!fOptions.fvPartition.empty()) {
      adapter = std::make_unique<CountingPartitionAdapter>(&fLayout.Specs(), fData, fOptions.fvPartition,
                                                           &random, false);
      nParts = static_cast<int>(fOptions.fvPartition.size());
    } else {
      adapter = std::make_unique<CountingPartitionAdapter>(&fLayout.Specs(), fData,
                                                           fLayout.PartitionVariable(), fOptions.fParts);
      nParts = fOptions.fParts;
    }
    adapter->SetPartIterOptions(true, true, fLayout.PartitionSlot());
    if (fLayout.DependVariable() >= 0) adapter->SetDependVariable(fLayout.DependVariable());
    Setup(*adapter);

    const int64_t total = static_cast<int64_t>(fData.NumCases());
    fProgress.Start("pass 1 of 2", total);
    KVOProcDataSourceIter records(*adapter, true);
    RecordCopyComponent component(fStop, ProgressFor(records));
    CheckTempFiles(*adapter);
    int collected = 0;
    do {
      ++collected;
      component.Read(records);
      CheckPass(records);
      adapter->CompleteSplit();
      CheckTempFiles(*adapter);
      EndCollectingGroup(*adapter);
      adapter->TakeUnseen();
      Reasons(*adapter, collected);
    } while (NextGroup(*adapter, records, collected));
    CheckGroupsKnown(*adapter);

    fProgress.Start("pass 2 of 2", total);
    records.NewPass();
    CheckPass(records);
    CheckTempFiles(*adapter);
    records.SetLastPass();
    int group = 0;
    do {
      ++group;
      SlotStatistics statistics = GroupStatistics(nParts);
      component.Read(records, &statistics);
      CheckPass(records);
      const bool completed = adapter->CompleteSplit();
      CheckTempFiles(*adapter);
      if (!completed) throw InputError(TempFileProblem(adapter->GetTempFileErrorNumber()));
      const UnseenValues unseen = adapter->TakeUnseen();
      AddUnseen(unseen.Total());
      SplitSummary split = Collect(*adapter, statistics, unseen);
      split.fReasons = Reasons(*adapter, group);
      split.fExcluded = adapter->GetExclCaseCount();
      std::vector<KVODataFileIter*>& files = adapter->GetPartSeparIters();
      const std::string groupName =
          split.fvValues.empty() ? std::string() : " of split group " + std::to_string(group);
      // Every record counted into a partition is in that partition's file.
      for (int i = 0; i < nParts; ++i) {
        const KVODataFileIter* file =
            static_cast<size_t>(i) < files.size() ? files[static_cast<size_t>(i)] : nullptr;
        CheckRecordCount(file, adapter->GetCaseCounts()[static_cast<size_t>(i)],
                         std::string("the ") + PARTITION_NAMES[i] + " partition" + groupName);
      }
      std::vector<int64_t> foldRecords;
      if (fOptions.fFolds > 0 && !files.empty() && files[0] != nullptr) {
        const KVODataFileIter* before = files[0];
        fProgress.Step("drawing " + std::to_string(fOptions.fFolds) + " cross-validation folds" + groupName);
        const bool allFolds = adapter->GetCrossValidPartition(fOptions.fFolds, fLayout.FoldSlot(), &fStop);
        // The training file is replaced only when its folded copy was
        // written whole; otherwise the folds were lost.
        if (files[0] == before && before->GetRecordCount() > 0) {
          throw InputError("cannot write the cross-validation folds" + groupName + ": " +
                           TempFileProblem(adapter->GetTempFileErrorNumber()));
        }
        CheckRecordCount(files[0], adapter->GetCaseCounts()[0], "the folded training partition" + groupName);
        if (!allFolds) {
          Warn("some of the " + std::to_string(fOptions.fFolds) + " cross-validation folds" + groupName +
               " received no record");
        }
        foldRecords = CountFolds(*files[0]);
      }
      for (int i = 0; i < nParts; ++i) {
        PartitionSummary partition;
        partition.fName = PARTITION_NAMES[i];
        partition.fRecords = adapter->GetCaseCounts()[static_cast<size_t>(i)];
        FillStatistics(partition, fLayout.Slots(), adapter->GetMinValues()[static_cast<size_t>(i)],
                       adapter->GetMaxValues()[static_cast<size_t>(i)],
                       adapter->GetMeanValues()[static_cast<size_t>(i)],
                       adapter->GetVariances()[static_cast<size_t>(i)]);
        KVODataFileIter* file =
            static_cast<size_t>(i) < files.size() ? files[static_cast<size_t>(i)] : nullptr;
        if (file != nullptr && !fOutDir.empty()) {
          partition.fFile = Export(*file, *adapter, false, group, PARTITION_NAMES[i]);
        }
        if (i == 0) partition.fvFoldRecords = foldRecords;
        split.fvPartitions.push_back(std::move(partition));
      }
      NoteEmptyGroup(split);
      summary.fvSplits.push_back(std::move(split));
    } while (NextGroup(*adapter, records, group));
    fProgress.Finish();
    NoteBadMatrixCases(*adapter);
    NoteUnseen();
  }

  std::vector<int64_t> CountFolds(KVODataFileIter& training) const {
    std::vector<int64_t> counts(static_cast<size_t>(fOptions.fFolds), 0);
    const int slot = fLayout.FoldSlot();
    training.NewPass();
    while (training.HasMore()) {
      const QorCommon::Record* record = training.Next();
      if (record == nullptr) break;
      const double fold = record->GetAll()[slot];
      if (fold >= 0.0 && fold < static_cast<double>(counts.size())) ++counts[static_cast<size_t>(fold)];
    }
    return counts;
  }

 private:
  const PrepareOptions& fOptions;
  Progress& fProgress;
  standin::MemoryDataSource& fData;
  RecordLayout& fLayout;
  KVOStopProcessor& fStop;
  std::string fOutDir;
  const CategorySeeds* fpSeeds;
  std::vector<int64_t> fvGroupEnds;
  RowAudit fAudit;
  std::vector<int> fvCatSlots, fvVarSlots;
  int fWeightSlot = -1;
  std::vector<int64_t> fvUnseenTotal;
  BpProcedure fBpProcedure;
};

std::string DescribePartitioning(const PrepareOptions& options, const VariableResolver& resolver,
                                 const RecordLayout& layout) {
  if (!options.fvPartition.empty()) {
    std::string shares;
    for (double share : options.fvPartition) shares += (shares.empty() ? "" : "/") + ShortestText(share);
    return shares + " at random (seed " + std::to_string(options.fSeed) + ")";
  }
  if (!options.fPartitionVar.empty()) {
    return "by " + resolver.Name(layout.PartitionVariable()) + " (above 0 training, 0 test, " +
           (options.fParts == 3 ? "below 0 holdout)" : "below 0 test)");
  }
  return std::string();
}

std::string DescribeCodes(const PrepareOptions& options) {
  if (!options.fCodesFrom.empty()) return "from " + options.fCodesFrom + " (other values are missing)";
  switch (options.fOrder) {
    case CodeOrder::Value:
      return "in ascending order of the values";
    case CodeOrder::Schema:
      return "the schema's categories first, then other values in order of first appearance";
    case CodeOrder::Appearance:
      break;
  }
  return options.Partitioned() ? "in order of first appearance among training cases"
                               : "in order of first appearance";
}

// Every option's effective value, with names as the dictionary spells them:
// what it takes to run the same preparation again.
nlohmann::ordered_json Settings(const PrepareOptions& options, const VariableResolver& resolver,
                                const RecordLayout& layout) {
  using json = nlohmann::ordered_json;
  auto names = [&](SlotKind kind) {
    json list = json::array();
    for (const SlotInfo& slot : layout.Slots()) {
      if (slot.fKind == kind) list.push_back(slot.fName);
    }
    return list;
  };
  auto nameOf = [&](int index) { return index >= 0 ? json(resolver.Name(index)) : json(nullptr); };
  auto text = [](const std::string& value) { return value.empty() ? json(nullptr) : json(value); };
  json splitBy = json::array();
  for (int index : layout.SplitVariables()) splitBy.push_back(resolver.Name(index));
  json sortBy = json::array();
  for (int slot : layout.SortKeys()) sortBy.push_back(layout.Slots()[static_cast<size_t>(slot)].fName);
  json matrix = json::array();
  for (const MatrixOption& option : options.fvMatrix) matrix.push_back(option.fText);
  std::error_code error;
  const uintmax_t size = fs::is_regular_file(options.fLoad.fDataPath, error)
                             ? fs::file_size(options.fLoad.fDataPath, error)
                             : static_cast<uintmax_t>(-1);
  return {{"version", VersionText()},
          {"data", options.fLoad.fDataPath},
          {"dataSize", error || size == static_cast<uintmax_t>(-1) ? json(nullptr) : json(size)},
          {"schema", options.fLoad.fSchemaPath},
          {"encoding", options.fLoad.fEncoding},
          {"delimiter", std::string(1, options.fLoad.fDelimiter)},
          {"cat", names(SlotKind::Categorical)},
          {"cont", names(SlotKind::Continuous)},
          {"matrix", std::move(matrix)},
          {"userMissing", UserMissingName(options.fUserMissing)},
          {"missing", MissingName(options.fMissing)},
          {"strongListwise", options.fbStrongListwise},
          {"weight", nameOf(layout.WeightVariable())},
          {"weightAdjust", WeightAdjustName(options.fWeightAdjust)},
          {"splitBy", std::move(splitBy)},
          {"partition", options.fvPartition.empty() ? json(nullptr) : json(options.fvPartition)},
          {"seed", options.fSeed},
          {"partitionVar", nameOf(layout.PartitionVariable())},
          {"parts", options.fPartitionVar.empty() ? json(nullptr) : json(options.fParts)},
          {"depend", nameOf(layout.DependVariable())},
          {"folds", options.fFolds},
          {"sortBy", std::move(sortBy)},
          {"format", FormatName(options.fFormat)},
          {"order", OrderName(options.fOrder)},
          {"codesFrom", text(options.fCodesFrom)},
          {"out", text(options.fOutDir)},
          {"report", text(options.fReportPath)},
          {"timeLimit", options.fTimeLimit}};
}

// Where --report goes. A report directly in the --out directory is written
// into the staging directory and replaces the earlier one with the rest of
// the output; it needs a name of its own (ending in .html). Anywhere else
// under --out it would be lost when the directory is replaced. Returns the
// report's file name for the first case, "" for a report on its own path.
std::string ReportInOut(const PrepareOptions& options) {
  if (options.fReportPath.empty() || options.fOutDir.empty()) return std::string();
  std::error_code error;
  const fs::path report = fs::weakly_canonical(fs::absolute(options.fReportPath, error), error);
  const fs::path out = fs::weakly_canonical(fs::absolute(options.fOutDir, error), error);
  const fs::path name = report.filename();
  if (report.parent_path() == out) {
    if (name.extension() != ".html" || name == ".html") {
      throw UsageError("--report: " + options.fReportPath +
                       ": a report in the --out directory needs a name ending in .html");
    }
    return name.string();
  }
  const std::string outText = out.string(), reportText = report.string();
  if (report == out ||
      (reportText.size() > outText.size() && reportText.compare(0, outText.size(), outText) == 0 &&
       reportText[outText.size()] == '/')) {
    throw UsageError("--report: " + options.fReportPath + " is inside --out " + options.fOutDir +
                     ", which is replaced whole; put the report directly in it or elsewhere");
  }
  return std::string();
}

}  // namespace

PrepareRun::PrepareRun(const PrepareOptions& options, Progress& progress)
    : fpOptions(&options), fpProgress(&progress) {}

Summary PrepareRun::Run() {
  const PrepareOptions& options = *fpOptions;
  // The time limit counts from here, loading included.
  KVOStopProcessor stop(options.fTimeLimit);
  // A report on its own path gets its temporary file now, so that a path
  // where it cannot be written ends the run before the data are read.
  const std::string reportInOut = ReportInOut(options);
  std::unique_ptr<ReportFile> report;
  if (!options.fReportPath.empty() && reportInOut.empty())
    report = std::make_unique<ReportFile>(options.fReportPath);

  const std::string dataName = standin::CsvSourceName(options.fLoad.fDataPath);
  fpProgress->Step("loading " + dataName);
  std::unique_ptr<standin::MemoryDataSource> data = LoadDataSet(options.fLoad);
  VariableResolver resolver(*data, dataName);
  RecordLayout layout(options, resolver);

  if (layout.WeightVariable() >= 0) data->SetWeightVariable(layout.WeightVariable());
  data->SetWeightFilter(true);
  std::vector<int64_t> groupEnds = CheckSplitOrder(*data, layout, layout.Specs(), dataName);
  if (!layout.SplitVariables().empty()) {
    data->SetSplitVariables(layout.SplitVariables());
    data->SetSplitRequested(true);
  }
  standin::SetRandomSeed(options.fSeed);
  // Checked before any pass: a summary that does not fit ends the run early.
  std::unique_ptr<CategorySeeds> seeds;
  if (!options.fCodesFrom.empty()) {
    seeds = CategorySeeds::FromSummary(options.fCodesFrom, layout, *data);
  } else if (options.fOrder == CodeOrder::Schema) {
    seeds = CategorySeeds::FromSchema(layout, *data);
  }
  // Files go to a staging directory that replaces --out only at the end.
  std::unique_ptr<OutputDirectory> out;
  if (!options.fOutDir.empty()) out = std::make_unique<OutputDirectory>(options.fOutDir);

  Summary summary;
  summary.fCases = static_cast<int64_t>(data->NumCases());
  summary.fvRecord = layout.Slots();
  RunDescription& run = summary.fRun;
  run.fDataPath = dataName;
  if (layout.WeightVariable() >= 0) {
    const char* adjust[] = {"rounded", "truncated", "as is"};
    run.fWeight =
        resolver.Name(layout.WeightVariable()) + " (" + adjust[static_cast<int>(options.fWeightAdjust)] + ")";
  }
  for (int index : layout.SplitVariables()) run.fvSplitBy.push_back(resolver.Name(index));
  for (int slot : layout.SortKeys()) run.fvSortBy.push_back(layout.Slots()[static_cast<size_t>(slot)].fName);
  run.fPartitioning = DescribePartitioning(options, resolver, layout);
  run.fOutDir = options.fOutDir;
  run.fFolds = options.fFolds;
  run.fCodes = DescribeCodes(options);
  run.fSettings = Settings(options, resolver, layout);

  Procedure procedure(options, *fpProgress, *data, layout, stop, out ? out->Staging() : std::string(),
                      seeds.get(), std::move(groupEnds));
  if (options.Partitioned()) {
    procedure.RunPartitioned(summary);
  } else {
    procedure.RunPlain(summary);
  }

  int64_t read = 0, valid = 0;
  for (const SplitSummary& split : summary.fvSplits) {
    read += split.fCases;
    valid += split.fValid;
  }
  if (valid == 0) {
    KVOInpAdaptMsg(*data).NoValidCases();
    throw KvoError(EXIT_NO_VALID_CASES,
                   dataName + ": no case gave a record (" + GroupDigits(read) +
                       " read, all rejected by the weight, missing-value or partition rules)");
  }
  if (!options.fReportPath.empty()) {
    const std::string page = SummaryToHtml(summary);
    if (report) {
      report->Write(page);
    } else {
      ReportFile inOut((fs::path(out->Staging()) / reportInOut).string(), options.fReportPath);
      inOut.Write(page);
      inOut.Commit();
    }
  }
  if (out) {
    // The summary is written last, once every record file is complete.
    const fs::path path = fs::path(out->Staging()) / "summary.json";
    std::ofstream file(path);
    file << SummaryToJson(summary).dump(2) << "\n";
    file.flush();
    const bool written = static_cast<bool>(file);
    file.close();
    if (!written || !file) {
      throw InputError((fs::path(options.fOutDir) / "summary.json").string() +
                       ": cannot write the summary: " + std::strerror(errno != 0 ? errno : EIO));
    }
    out->Commit();
  }
  // Last: a run that failed before this point leaves no report.
  if (report) report->Commit();
  return summary;
}

}  // namespace kvo
