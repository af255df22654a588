/// \file
/// KVOPartitionAdapter and SplitPartData: training, test and holdout partitions.
#ifndef KVOADAPTER_KVOPARTITIONADAPTER_H
#define KVOADAPTER_KVOPARTITIONADAPTER_H

#include <qor/Services.h>

#include <memory>
#include <vector>

#include "kvoadapter/KVODataFileIter.h"
#include "kvoadapter/KVOExport.h"
#include "kvoadapter/KVOInputAdapter.h"

/// The partition files of one split group, held by the partition adapter.
/// Owns every iterator it holds and deletes it, with its file on disk, when
/// destroyed. Moving hands the files over and leaves the source empty;
/// copying is refused, since two copies would delete the same files.
struct KVO_EXPORT SplitPartData {
  /// No files.
  SplitPartData() = default;
  /// Not copyable: each file has one owner.
  SplitPartData(const SplitPartData&) = delete;
  /// Not copyable: each file has one owner.
  SplitPartData& operator=(const SplitPartData&) = delete;
  /// Takes over the files of `other`, which is left without files.
  SplitPartData(SplitPartData&& other) noexcept = default;
  /// Deletes this group's files, then takes over those of `other`.
  SplitPartData& operator=(SplitPartData&& other) noexcept;
  /// Deletes every file of the group (ReleaseFiles).
  ~SplitPartData();

  /// Deletes every file of the group, closed ones too, and leaves it empty
  /// of files (the list keeps its length, with null entries).
  void ReleaseFiles() noexcept;

  /// Records of every partition; exists when records carry a partition indicator.
  std::unique_ptr<KVODataFileIter> fpPartMixedIter;
  /// One file per partition when separate files are wanted; null entries for
  /// partitions without a file. Plain pointers, since the procedure may
  /// replace entries through GetPartSeparIters; every entry is owned.
  std::vector<KVODataFileIter*> fvpPartSeparIters;
};

/// An input adapter that divides the cases into training, test and holdout
/// partitions, at random by percentages or by a partition variable. In the
/// first data pass only training cases reach the component (random draws are
/// recorded in a partition flag file); in the second every partitioned case
/// is marked, written to per-partition temporary record files and counted
/// into per-partition statistics; the training file can then be split into
/// cross-validation folds. One thread at a time. Owns the flag file and every
/// partition file; borrows the random source (and, like its base, the
/// specification and the data source).
class KVO_EXPORT KVOPartitionAdapter : public KVOInputAdapter {
 public:
  /// The fewest partitions of a partitioning adapter.
  static constexpr int MIN_NUM_PARTS = 2;
  /// The most partitions: training, test and holdout.
  static constexpr int MAX_NUM_PARTS = 3;

  /// No partitioning: every case belongs to partition 0 (training).
  KVOPartitionAdapter(KVOVarValidSpecs* specs, ProcedureDataSource& dataSource);
  /// Random partitioning by percentages (2 or 3 of them, training first).
  /// `rng` is borrowed; `rngResettable`: the host re-seeds it before every
  /// pass, so draws are repeated instead of recorded.
  KVOPartitionAdapter(KVOVarValidSpecs* specs, ProcedureDataSource& dataSource,
                      const std::vector<double>& partPcts, QorCommon::QorRandom* rng, bool rngResettable);
  /// Partitioning by a variable: > 0 training, 0 test, < 0 holdout (test with
  /// two partitions); a system-missing value drops the case.
  KVOPartitionAdapter(KVOVarValidSpecs* specs, ProcedureDataSource& dataSource, int partVarIndex, int nParts);
  /// The files are owned by exactly one adapter; copying is refused.
  KVOPartitionAdapter(const KVOPartitionAdapter&) = delete;
  /// Not copyable, as the copy constructor says.
  KVOPartitionAdapter& operator=(const KVOPartitionAdapter&) = delete;
  /// Deletes the flag file and every partition file.
  ~KVOPartitionAdapter() override;

  // --- Assignment ---------------------------------------------------------
  /// The dependent record variable (by host index): a record missing it
  /// is rejected in every partition but the last (test with two partitions,
  /// holdout with three). Call before the first pass.
  void SetDependVariable(int vormInd);
  /// The dependent variable's host index; -1 for none.
  int GetDependVariable() const { return fDependVar; }
  /// Whether cases are drawn at random (two or more shares above 0).
  bool GetRandomPartition() const { return fbRandomPartition; }
  /// Whether a partition variable decides.
  bool GetVariablePartition() const { return fPartVarIndex >= 0; }
  /// Whether draws are repeated in the second pass instead of recorded.
  bool GetRNGResettable() const { return fbRNGResettable; }
  /// In the second pass: the current group's cases that got a partition
  /// but gave no record (a missing value, a value training did not see, a
  /// missing dependent).
  int GetExclCaseCount() const { return fExclCaseCount; }
  /// The partition (0 training, 1 test, 2 holdout) of the case in the record
  /// step: set once PreprocessCase has accepted the case.
  int GetCasePartition() const { return fCasePart; }
  /// The number of partitions (1 without partitioning).
  int GetNPartitions() const { return fNPartData; }
  /// Per partition, where its share of [0, 1) begins: a draw u falls in
  /// partition i when it lies from point i up to point i + 1 (or 1).
  const std::vector<double>& GetPartEndPoints() const { return fvPartEndPoints; }
  /// Rewrites the current split group's training file with a fold number in
  /// record slot `crossValidRecVar` of every record. True when every fold got
  /// at least one record. `cancel` may be null. False, with the original
  /// training file kept, when the file cannot be read, or the new file
  /// cannot be created, written or completed.
  bool GetCrossValidPartition(int nFolds, int crossValidRecVar, QorCommon::QorQueryCancel* cancel);

  /// Gives the case its partition: drawn (and recorded) in the first pass,
  /// read back or drawn again in the second, or taken from the partition
  /// variable. In the first pass only training cases go on.
  bool PreprocessCase() override;
  /// In the second pass: writes the partition indicator (1 training, 0
  /// test, -1 holdout), applies the dependent variable's rule, and writes
  /// the record to its partition's files and statistics; false when that
  /// failed.
  bool PreprocessRecord(double* record) override;

  // --- Files and statistics -------------------------------------------------
  /// Call before the second data pass. `makeSeparIters`: one file per
  /// partition; `keepStats`: per-partition counts and statistics.
  /// `partRecVar`: the record slot for the
  /// partition indicator, -1 for none (and then no mixed file).
  void SetPartIterOptions(bool makeSeparIters, bool keepStats, int partRecVar);
  /// Keep every group's files until the adapter goes, instead of deleting
  /// a group's files when the next group (or the third pass) starts.
  void SetKeepPartIters(bool keep) { fbKeepPartIters = keep; }
  /// Whether every group's files are kept.
  bool GetKeepPartIters() const { return fbKeepPartIters; }
  /// False for good once the flag file or any partition file could not be
  /// created, written, completed or read back; the cases and records that
  /// depended on it were rejected, never put in another partition.
  bool HasValidTempFiles() const { return fbValidTempFiles; }
  /// The system error (errno) of the first such file failure; 0 when none.
  int GetTempFileErrorNumber() const { return fTempFileError; }
  /// The current split group's file of every partition's records (null
  /// before the second pass, or without a partition indicator slot).
  /// Iterators left in the vector stay owned by the adapter. With
  /// SetKeepPartIters(true), a group's files are closed when the next group
  /// starts (so that many groups do not hold many descriptors): reopen one
  /// with OpenDataFile before reading it again.
  KVODataFileIter* GetPartMixedIter();
  /// One file per partition (null for a partition without one); see
  /// GetPartMixedIter.
  std::vector<KVODataFileIter*>& GetPartSeparIters();
  /// Records per partition in the current group (statistics kept).
  const std::vector<int>& GetCaseCounts() const { return fvCaseCounts; }
  /// The smallest value per partition and record slot; the system-missing
  /// value for categorical slots and where no value was seen.
  const std::vector<std::vector<double>>& GetMinValues() const { return fvvMinValues; }
  /// The largest value per partition and record slot, as GetMinValues.
  const std::vector<std::vector<double>>& GetMaxValues() const { return fvvMaxValues; }
  /// The mean per partition and record slot: the sum of the values over
  /// the partition's record count (0 for categorical slots).
  const std::vector<std::vector<double>>& GetMeanValues() const { return fvvMeanValues; }
  /// The mean of squares per partition and record slot.
  const std::vector<std::vector<double>>& GetVariances() const { return fvvVariances; }
  /// The cases of a split group (or of all data) have been read in a pass:
  /// completes the group's files and statistics in the second pass. False
  /// when a file failed (HasValidTempFiles() is then false too).
  bool CompleteSplit();

 protected:
  /// Completes the flag file after the first pass and makes the first
  /// group's partition files in the second.
  void PrepareNewPass() override;
  /// Moves to the next group's files (made anew in the second pass).
  void PrepareNewSplit() override;

 private:
  void SetPartitionOptions();
  int PartitionRandom();
  int PartitionVariable(double value) const;
  bool CreateTempFiles();
  bool UpdateTempFile(double* record, int part);
  bool CompleteTempFiles();
  bool CleanTempFiles();
  bool InitAllStats();
  bool ResetAllStats();
  bool UpdateStatistics(double* record, int part);
  bool CompleteStatistics();
  bool CompletePartition();
  /// Closes the files of one split group, keeping them on disk.
  static void CloseFiles(SplitPartData& data);
  /// Notes that `file` failed: the adapter's files are invalid for good.
  void NoteFileFailure(const KVODataFileIter* file);

  std::vector<double> fvPartPcts;
  int fPartVarIndex;
  int fNPartData;
  int fCasePart;
  int fDependVar;
  int fDependRecVar;
  bool fbDependCatVar;
  QorCommon::QorRandom* fpRandomNumbers;
  bool fbRNGResettable;
  bool fbRandomPartition;
  std::vector<bool> fvbRandomPartition;
  std::vector<double> fvPartEndPoints;
  std::unique_ptr<KVODataFileIter> fpPartFlagIter;
  int fPartRecVar;
  SplitPartData* fpSplitPartData;
  std::vector<SplitPartData> fvAllSplitPartData;
  bool fbMakeSeparIters;
  std::vector<int> fvCaseCounts;
  bool fbKeepPartIters;
  bool fbValidTempFiles;
  int fExclCaseCount;
  bool fbKeepStats;
  std::vector<std::vector<double>> fvvMinValues;
  std::vector<std::vector<double>> fvvMaxValues;
  std::vector<std::vector<double>> fvvSums;
  std::vector<std::vector<double>> fvvMeanValues;
  std::vector<std::vector<double>> fvvSumSquares;
  std::vector<std::vector<double>> fvvVariances;
  int fTempFileError = 0;
};

#endif  // KVOADAPTER_KVOPARTITIONADAPTER_H
