#include "kvoadapter/KVOPartitionAdapter.h"

#include <qor/Record.h>
#include <vorm/Utility.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

#include "KVOAssert.h"
#include "kvoadapter/KVOUniformRandom.h"

namespace {

constexpr const char* KVO_SOURCE = "KVOPartitionAdapter";

// Record value of the partition indicator: training 1, test 0, holdout -1.
double PartitionIndicator(int part) {
  switch (part) {
    case 0:
      return 1.0;
    case 1:
      return 0.0;
    default:
      return -1.0;
  }
}

size_t SizeOf(int count) { return count > 0 ? static_cast<size_t>(count) : 0; }

// The one way a partition file goes: takes ownership of `file` (null is
// fine) and deletes it with its file on disk, also when it was closed (a
// closed iterator leaves its file in place; an open one removes it itself).
void ReleaseFile(KVODataFileIter* file) {
  const std::unique_ptr<KVODataFileIter> owned(file);
  if (owned == nullptr || owned->IsDataFileOpen() || owned->GetFileName().empty()) return;
  ExtNameStr name;
  name.SetGeneric(owned->GetFileName());
  name.remove();
}

}  // namespace

// --- Construction ---------------------------------------------------------------

KVOPartitionAdapter::KVOPartitionAdapter(KVOVarValidSpecs* specs, ProcedureDataSource& dataSource)
    : KVOInputAdapter(specs, dataSource),
      fPartVarIndex(-1),
      fNPartData(1),
      fCasePart(0),
      fDependVar(-1),
      fDependRecVar(-1),
      fbDependCatVar(true),
      fpRandomNumbers(nullptr),
      fbRNGResettable(false),
      fbRandomPartition(false),
      fPartRecVar(-1),
      fpSplitPartData(nullptr),
      fbMakeSeparIters(true),
      fbKeepPartIters(false),
      fbValidTempFiles(true),
      fExclCaseCount(0),
      fbKeepStats(false) {
  SetPartitionOptions();
}

KVOPartitionAdapter::KVOPartitionAdapter(KVOVarValidSpecs* specs, ProcedureDataSource& dataSource,
                                         const std::vector<double>& partPcts, QorCommon::QorRandom* rng,
                                         bool rngResettable)
    : KVOPartitionAdapter(specs, dataSource) {
  fvPartPcts = partPcts;
  fNPartData = static_cast<int>(partPcts.size());
  fpRandomNumbers = rng;
  fbRNGResettable = rngResettable;
  KVO_ASSERT(fNPartData >= MIN_NUM_PARTS);
  KVO_ASSERT(fNPartData <= MAX_NUM_PARTS);
  SetPartitionOptions();
}

KVOPartitionAdapter::KVOPartitionAdapter(KVOVarValidSpecs* specs, ProcedureDataSource& dataSource,
                                         int partVarIndex, int nParts)
    : KVOPartitionAdapter(specs, dataSource) {
  fPartVarIndex = partVarIndex;
  fNPartData = nParts;
  KVO_ASSERT(fNPartData >= MIN_NUM_PARTS);
  KVO_ASSERT(fNPartData <= MAX_NUM_PARTS);
  SetPartitionOptions();
}

// The flag file and every group's files go with their owners.
KVOPartitionAdapter::~KVOPartitionAdapter() = default;

void KVOPartitionAdapter::SetPartitionOptions() {
  const size_t nParts = SizeOf(fNPartData);
  fvbRandomPartition.assign(nParts, false);
  fvPartEndPoints.assign(nParts, 0.0);
  fvCaseCounts.assign(nParts, 0);
  fbRandomPartition = false;
  fpPartFlagIter.reset();
  if (fPartVarIndex >= 0 || fvPartPcts.empty()) return;

  if (!KVO_ASSERT_TEXT(fvPartPcts.size() == nParts, "fvPartPcts.size() == fNPartData")) return;
  double partEnd = 0.0;
  int nRandomParts = 0;
  for (size_t iPart = 0; iPart < nParts; ++iPart) {
    fvPartEndPoints[iPart] = partEnd;
    if (fvPartPcts[iPart] > 0.0) {
      fvbRandomPartition[iPart] = true;
      // A fraction by multiplying with 0.01: 70 * 0.01 is 0.7000000000000001,
      // which is what decides the boundary cases.
      const double currentPart = fvPartPcts[iPart] * 0.01;
      KVO_ASSERT(currentPart > 0.0);
      partEnd += currentPart;
      KVO_ASSERT(fvPartEndPoints[iPart] < partEnd);
      ++nRandomParts;
    }
  }
  fbRandomPartition = nRandomParts >= 2;
  if (fbRandomPartition) {
    KVO_ASSERT_TEXT(fvbRandomPartition[0], "fvbRandomPartition[0] > 0.0");
    if (!fbRNGResettable) {
      fpPartFlagIter = std::make_unique<KVODataFileIter>(2);
      if (!fpPartFlagIter->HasValidTempFile()) NoteFileFailure(fpPartFlagIter.get());
    }
  }
}

void KVOPartitionAdapter::NoteFileFailure(const KVODataFileIter* file) {
  fbValidTempFiles = false;
  if (fTempFileError == 0)
    fTempFileError = file != nullptr && file->GetErrorNumber() != 0 ? file->GetErrorNumber() : EIO;
}

void KVOPartitionAdapter::SetDependVariable(int vormInd) {
  fDependVar = vormInd;
  fDependRecVar = fpValidSpecs->GetRecVarIndex(vormInd);
  fbDependCatVar = fpValidSpecs->GetVORMCatVar(vormInd);
}

// --- Assignment -----------------------------------------------------------------

int KVOPartitionAdapter::PartitionRandom() {
  if (fDataPassCount > 1) return -1;
  if (!KVO_ASSERT(fpRandomNumbers != 0)) return -1;
  const double u = fpRandomNumbers->GetRandom();
  const int globalCaseCount = fpDSIter ? static_cast<int>(fpDSIter->GetCaseNumber()) : 0;

  if (fDataPassCount == 0 || fbRNGResettable) {
    int iPart = -1;
    for (int i = 0; i < fNPartData; ++i) {
      const double upper = i + 1 < fNPartData ? fvPartEndPoints[static_cast<size_t>(i) + 1] : 1.0;
      if (u >= fvPartEndPoints[static_cast<size_t>(i)] && u < upper) {
        iPart = i;
        break;
      }
    }
    KVO_ASSERT(iPart >= 0 && iPart < fNPartData);
    if (fDataPassCount == 0 && !fbRNGResettable && iPart >= 0) {
      // A case whose draw cannot be recorded could not be given the same
      // partition in the second pass: it is rejected now.
      if (fpPartFlagIter == nullptr || !fpPartFlagIter->HasValidTempFile()) return -1;
      double partFlagRecord[2] = {static_cast<double>(globalCaseCount), static_cast<double>(iPart)};
      if (!fpPartFlagIter->AddNewRecord(partFlagRecord)) {
        NoteFileFailure(fpPartFlagIter.get());
        return -1;
      }
    }
    return iPart;
  }

  // Second pass: read the first pass's assignment back from the flag file,
  // strictly forward. Without a readable flag file no case can be given its
  // partition: each is rejected (one failure noted, not one per case).
  // (An empty flag file also has fail reason 3, and is no failure.)
  auto flagsFailed = [this] {
    return !fpPartFlagIter->HasValidTempFile() ||
           (fpPartFlagIter->GetFailReason() == 3 && fpPartFlagIter->GetRecordCount() > 0);
  };
  if (fpPartFlagIter == nullptr || flagsFailed()) {
    if (fbValidTempFiles) NoteFileFailure(fpPartFlagIter.get());
    return -1;
  }
  const QorCommon::Record* current = fpPartFlagIter->Current();
  const double* partFlagRecord = current ? current->GetAll() : nullptr;
  KVO_ASSERT(partFlagRecord != 0);
  if (!fbScoreIteration) {
    KVO_ASSERT_TEXT(partFlagRecord != 0 && partFlagRecord[0] <= static_cast<double>(globalCaseCount),
                    "partFlagRecord != 0 && partFlagRecord[0] <= (double)globalCaseCount");
  }
  while (partFlagRecord != nullptr && partFlagRecord[0] < static_cast<double>(globalCaseCount)) {
    fpPartFlagIter->Next();
    current = fpPartFlagIter->Current();
    partFlagRecord = current ? current->GetAll() : nullptr;
  }
  if (flagsFailed()) {  // a read error, not the end of the flags
    if (fbValidTempFiles) NoteFileFailure(fpPartFlagIter.get());
    return -1;
  }
  if (!fbScoreIteration) {
    KVO_ASSERT_TEXT(partFlagRecord != 0 && partFlagRecord[0] == static_cast<double>(globalCaseCount),
                    "partFlagRecord != 0 && partFlagRecord[0] == (double)globalCaseCount");
  }
  if (partFlagRecord != nullptr && partFlagRecord[0] == static_cast<double>(globalCaseCount)) {
    return static_cast<int>(partFlagRecord[1]);
  }
  return fNPartData - 1;
}

int KVOPartitionAdapter::PartitionVariable(double value) const {
  if (value > 0.0) return 0;
  if (value == 0.0) return 1;
  return fNPartData != 2 ? 2 : 1;
}

bool KVOPartitionAdapter::PreprocessCase() {
  if (fDataPassCount <= 1) {
    bool assigned = false;
    int part = 0;
    if (fPartVarIndex >= 0) {
      if (fpDSIter == nullptr) return false;
      const double value = fpDSIter->GetNumericValue(fPartVarIndex);
      if (value == fSysMis) return false;
      part = PartitionVariable(value);
      assigned = true;
    } else if (fbRandomPartition) {
      part = PartitionRandom();
      assigned = true;
    }
    if (assigned) {
      if (part < 0 || part >= fNPartData) return false;
      fCasePart = part;
    }
  }
  if (fDataPassCount == 0) return fCasePart == 0;
  if (fDataPassCount == 1) ++fExclCaseCount;
  return true;
}

bool KVOPartitionAdapter::PreprocessRecord(double* record) {
  if (fDataPassCount == 0) return true;
  if (fPartRecVar >= 0) record[fPartRecVar] = PartitionIndicator(fCasePart);

  if (fDependRecVar >= 0 && !fbScoreIteration && (fCasePart == 0 || fCasePart < fNPartData - 1)) {
    const double dependValue = record[fDependRecVar];
    if (fbDependCatVar) {
      // The code truncated toward zero must be 0 or more.
      if (!(dependValue > -1.0)) return false;
    } else if (QorCommon::QorMV::IsMissing(dependValue)) {
      return false;
    }
  }

  if (fDataPassCount == 1) {
    bool ok = UpdateTempFile(record, fCasePart);
    if (fbKeepStats) ok = UpdateStatistics(record, fCasePart) && ok;
    if (!ok) return false;
    --fExclCaseCount;
  }
  return true;
}

// --- Cross-validation folds ---------------------------------------------------------

bool KVOPartitionAdapter::GetCrossValidPartition(int nFolds, int crossValidRecVar,
                                                 QorCommon::QorQueryCancel* cancel) {
  const int nVars = fpValidSpecs->GetNRecordVars();
  if (!KVO_ASSERT(crossValidRecVar >= 0) || crossValidRecVar >= nVars || nFolds < 1) return false;

  std::unique_ptr<KVOUniformRandom> ownRandom;
  QorCommon::QorRandom* random = fpRandomNumbers;
  if (random == nullptr) {
    ownRandom = std::make_unique<KVOUniformRandom>();
    random = ownRandom.get();
  }

  if (fpSplitPartData == nullptr || fpSplitPartData->fvpPartSeparIters.empty() ||
      fpSplitPartData->fvpPartSeparIters[0] == nullptr) {
    return true;
  }
  KVODataFileIter* source = fpSplitPartData->fvpPartSeparIters[0];
  bool ok = source->NewPass() == 0 && source->HasMore();
  if (!ok) return false;

  auto folded = std::make_unique<KVODataFileIter>(*this);
  if (!folded->HasValidTempFile()) {  // the training file stays as it was
    NoteFileFailure(folded.get());
    return false;
  }
  QorCommon::Record work(nVars);
  double* workValues = work.GetAll();
  std::vector<bool> foldSeen(static_cast<size_t>(nFolds), false);
  while (ok && source->HasMore()) {
    if (cancel != nullptr && cancel->GetCancel()) break;
    const QorCommon::Record* recordPtr = source->Current();
    if (!KVO_ASSERT(recordPtr != 0)) {
      ok = false;
      break;
    }
    std::copy_n(recordPtr->GetAll(), nVars, workValues);
    int fold = static_cast<int>(nFolds * random->GetRandom());
    if (fold >= nFolds) fold = nFolds - 1;
    if (fold < 0) fold = 0;
    workValues[crossValidRecVar] = static_cast<double>(fold);
    if (!folded->AddNewRecord(workValues)) {
      NoteFileFailure(folded.get());
      ok = false;
      break;
    }
    foldSeen[static_cast<size_t>(fold)] = true;
    source->Next();
    if (source->GetFailReason() == 3) ok = false;
  }
  // A file that could not be written whole, or read back, never replaces
  // the training file.
  if (!ok) return false;
  if (!folded->CompleteDataFile()) {
    NoteFileFailure(folded.get());
    return false;
  }
  ReleaseFile(std::exchange(fpSplitPartData->fvpPartSeparIters[0], folded.release()));
  return std::all_of(foldSeen.begin(), foldSeen.end(), [](bool seen) { return seen; });
}

// --- Files ------------------------------------------------------------------------

void KVOPartitionAdapter::SetPartIterOptions(bool makeSeparIters, bool keepStats, int partRecVar) {
  fbMakeSeparIters = makeSeparIters;
  fbKeepStats = keepStats;
  if (fbKeepStats) InitAllStats();
  fPartRecVar = partRecVar;
}

KVODataFileIter* KVOPartitionAdapter::GetPartMixedIter() {
  return fpSplitPartData ? fpSplitPartData->fpPartMixedIter.get() : nullptr;
}

std::vector<KVODataFileIter*>& KVOPartitionAdapter::GetPartSeparIters() {
  // Without a current group the caller gets an empty list of this thread's
  // own; whatever it put there last time is dropped (it was never owned).
  thread_local std::vector<KVODataFileIter*> noIters;
  if (fpSplitPartData == nullptr) {
    noIters.clear();
    return noIters;
  }
  return fpSplitPartData->fvpPartSeparIters;
}

// --- Split group files --------------------------------------------------------------

SplitPartData& SplitPartData::operator=(SplitPartData&& other) noexcept {
  if (this == &other) return *this;
  ReleaseFiles();
  fpPartMixedIter = std::move(other.fpPartMixedIter);
  fvpPartSeparIters = std::exchange(other.fvpPartSeparIters, {});
  return *this;
}

SplitPartData::~SplitPartData() { ReleaseFiles(); }

void SplitPartData::ReleaseFiles() noexcept {
  ReleaseFile(fpPartMixedIter.release());
  for (KVODataFileIter*& file : fvpPartSeparIters) ReleaseFile(std::exchange(file, nullptr));
}

void KVOPartitionAdapter::CloseFiles(SplitPartData& data) {
  if (data.fpPartMixedIter != nullptr) data.fpPartMixedIter->CloseDataFile();
  for (KVODataFileIter* iter : data.fvpPartSeparIters) {
    if (iter != nullptr) iter->CloseDataFile();
  }
}

bool KVOPartitionAdapter::CreateTempFiles() {
  if (fpSplitPartData == nullptr) return false;
  if (fPartRecVar >= 0) {
    auto mixed = std::make_unique<KVODataFileIter>(*this);
    if (!mixed->HasValidTempFile()) {
      NoteFileFailure(mixed.get());
      return false;
    }
    fpSplitPartData->fpPartMixedIter = std::move(mixed);
  }
  if (fbMakeSeparIters) {
    std::vector<KVODataFileIter*>& separ = fpSplitPartData->fvpPartSeparIters;
    KVO_ASSERT_TEXT(separ.size() == SizeOf(fNPartData),
                    "fpSplitPartData->fvpPartSeparIters.size() == fNPartData");
    for (size_t iPart = 0; iPart < separ.size() && iPart < SizeOf(fNPartData); ++iPart) {
      if (iPart >= 1 && fPartVarIndex < 0 && !fvbRandomPartition[iPart]) continue;
      auto file = std::make_unique<KVODataFileIter>(*this);
      if (!file->HasValidTempFile()) {
        NoteFileFailure(file.get());
        return false;
      }
      separ[iPart] = file.release();
    }
  }
  return true;
}

bool KVOPartitionAdapter::UpdateTempFile(double* record, int part) {
  if (fpSplitPartData == nullptr) return false;
  bool ok = true;
  KVODataFileIter* mixed = fpSplitPartData->fpPartMixedIter.get();
  if (mixed != nullptr && !mixed->AddNewRecord(record)) {
    if (fbValidTempFiles) NoteFileFailure(mixed);
    ok = false;
  }
  const std::vector<KVODataFileIter*>& separ = fpSplitPartData->fvpPartSeparIters;
  if (part >= 0 && static_cast<size_t>(part) < separ.size() && separ[static_cast<size_t>(part)] != nullptr) {
    KVODataFileIter* file = separ[static_cast<size_t>(part)];
    if (!file->AddNewRecord(record)) {
      if (fbValidTempFiles) NoteFileFailure(file);
      ok = false;
    }
  }
  return ok;
}

bool KVOPartitionAdapter::CompleteTempFiles() {
  if (fpSplitPartData == nullptr) return true;
  // An empty file completes as a failure but stays valid; a file that could
  // not be written, flushed or read back is invalid and fails the split.
  KVODataFileIter* mixed = fpSplitPartData->fpPartMixedIter.get();
  if (mixed != nullptr && !mixed->CompleteDataFile() && !mixed->HasValidTempFile()) NoteFileFailure(mixed);
  std::vector<KVODataFileIter*>& separ = fpSplitPartData->fvpPartSeparIters;
  for (size_t iPart = 0; iPart < separ.size(); ++iPart) {
    if (separ[iPart] == nullptr) continue;
    if (!separ[iPart]->CompleteDataFile() && !separ[iPart]->HasValidTempFile()) NoteFileFailure(separ[iPart]);
    // An empty test or holdout file of a partition variable is dropped; a
    // random partition's empty file stays, completed as a failure. Empty
    // means no record written, whether statistics are kept or not.
    if (fPartVarIndex >= 0 && iPart != 0 && separ[iPart]->HasValidTempFile() &&
        separ[iPart]->GetRecordCount() == 0) {
      ReleaseFile(std::exchange(separ[iPart], nullptr));
    }
  }
  return fbValidTempFiles;
}

bool KVOPartitionAdapter::CleanTempFiles() {
  if (!fbKeepPartIters && fpSplitPartData != nullptr) fpSplitPartData->ReleaseFiles();
  return true;
}

// --- Statistics ---------------------------------------------------------------------

bool KVOPartitionAdapter::InitAllStats() {
  const size_t nParts = SizeOf(fNPartData);
  const size_t nVars = SizeOf(fpValidSpecs->GetNRecordVars());
  for (auto* table :
       {&fvvMinValues, &fvvMaxValues, &fvvSums, &fvvMeanValues, &fvvSumSquares, &fvvVariances}) {
    const bool isRange = table == &fvvMinValues || table == &fvvMaxValues;
    table->resize(nParts);
    for (std::vector<double>& row : *table) row.resize(nVars, isRange ? fSysMis : 0.0);
  }
  return true;
}

bool KVOPartitionAdapter::ResetAllStats() {
  std::fill(fvCaseCounts.begin(), fvCaseCounts.end(), 0);
  for (auto* table :
       {&fvvMinValues, &fvvMaxValues, &fvvSums, &fvvMeanValues, &fvvSumSquares, &fvvVariances}) {
    const bool isRange = table == &fvvMinValues || table == &fvvMaxValues;
    for (std::vector<double>& row : *table) std::fill(row.begin(), row.end(), isRange ? fSysMis : 0.0);
  }
  return true;
}

bool KVOPartitionAdapter::UpdateStatistics(double* record, int part) {
  if (part < 0 || static_cast<size_t>(part) >= fvCaseCounts.size() ||
      static_cast<size_t>(part) >= fvvMinValues.size()) {
    return false;
  }
  const size_t p = static_cast<size_t>(part);
  ++fvCaseCounts[p];
  std::vector<double>& mins = fvvMinValues[p];
  std::vector<double>& maxs = fvvMaxValues[p];
  std::vector<double>& sums = fvvSums[p];
  std::vector<double>& squares = fvvSumSquares[p];
  for (size_t i = 0; i < mins.size(); ++i) {
    const double v = record[i];
    if (v == fSysMis || fpValidSpecs->GetRecordCatVar(static_cast<int>(i))) continue;
    if (mins[i] == fSysMis || mins[i] > v) mins[i] = v;
    if (maxs[i] == fSysMis || maxs[i] < v) maxs[i] = v;
    sums[i] += v;
    squares[i] += v * v;
  }
  return true;
}

bool KVOPartitionAdapter::CompleteStatistics() {
  for (size_t p = 0; p < fvCaseCounts.size() && p < fvvMeanValues.size(); ++p) {
    const int count = fvCaseCounts[p];
    if (count == 0) continue;
    for (size_t i = 0; i < fvvMeanValues[p].size(); ++i) {
      fvvMeanValues[p][i] = fvvSums[p][i] / count;
      fvvVariances[p][i] = fvvSumSquares[p][i] / count;
    }
  }
  return true;
}

bool KVOPartitionAdapter::CompletePartition() {
  if (fDataPassCount == 0 && fbRandomPartition && !fbRNGResettable) KVO_ASSERT(fpRandomNumbers != 0);
  return fbValidTempFiles;
}

bool KVOPartitionAdapter::CompleteSplit() {
  if (fDataPassCount > 1) return true;
  const bool partitioned = CompletePartition();
  if (fDataPassCount != 1) return partitioned;
  bool ok = CompleteTempFiles() && partitioned;
  if (fbKeepStats) ok = CompleteStatistics() && ok;
  return ok;
}

// --- Pass and split hooks -----------------------------------------------------------

void KVOPartitionAdapter::PrepareNewPass() {
  if (fDataPassCount == 1) {
    // An empty flag file (no case reached assignment) completes as a
    // failure but is not one; a file that cannot be read back is.
    if (fpPartFlagIter != nullptr && !fpPartFlagIter->CompleteDataFile() &&
        !fpPartFlagIter->HasValidTempFile()) {
      NoteFileFailure(fpPartFlagIter.get());
    }
    // The groups of an earlier first pass go with their files.
    fvAllSplitPartData.clear();
    fvAllSplitPartData.resize(fvAllSplitData.size());
    if (fbMakeSeparIters) {
      for (SplitPartData& data : fvAllSplitPartData)
        data.fvpPartSeparIters.assign(SizeOf(fNPartData), nullptr);
    }
  } else if (fDataPassCount == 2) {
    CleanTempFiles();
    if (fbKeepStats) ResetAllStats();
    fExclCaseCount = 0;
  }
  if (fDataPassCount >= 1) {
    fpSplitPartData = nullptr;
    if (!KVO_ASSERT(fvAllSplitPartData.size() > 0)) return;
    fpSplitPartData = &fvAllSplitPartData[0];
    if (fDataPassCount == 1) CreateTempFiles();
  }
}

void KVOPartitionAdapter::PrepareNewSplit() {
  if (fDataPassCount == 1) {
    // Kept files stay on disk but give their descriptors back.
    if (fbKeepPartIters && fpSplitPartData != nullptr) CloseFiles(*fpSplitPartData);
    CleanTempFiles();
    if (fbKeepStats) ResetAllStats();
    fExclCaseCount = 0;
  }
  if (fDataPassCount >= 1) {
    if (!KVO_ASSERT_TEXT(fSplitCount >= 0 && static_cast<size_t>(fSplitCount) < fvAllSplitPartData.size(),
                         "fSplitCount < fvAllSplitPartData.size()")) {
      return;
    }
    fpSplitPartData = &fvAllSplitPartData[static_cast<size_t>(fSplitCount)];
    if (fDataPassCount == 1) CreateTempFiles();
  }
}
