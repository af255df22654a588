// Split-file handling of the input adapter: one SplitData per split group,
// the move from one group to the next during a pass, the walk over kept
// groups without a host iterator, and the names, values and labels of the
// current group.
#include <algorithm>

#include "KVOAssert.h"
#include "kvoadapter/KVOInputAdapter.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOInputAdapter";

const std::vector<OBS*> NO_SPLIT_VALUES;
}  // namespace

void KVOInputAdapter::SetSplitFile(BpProcedure& procedure, bool splitWhenClear, bool splitWhenSet,
                                   bool keepSplitInfo) {
  fpProcedure = &procedure;
  bool split = false;
  if (fpProcDS->GetNumSplitVars() > 0) split = fpProcDS->IsSplitRequested() ? splitWhenSet : splitWhenClear;
  fbSplitFile = split;
  fbKeepSplitInfo = split ? keepSplitInfo : true;
}

const std::vector<OBS*>& KVOInputAdapter::GetSplitValues() const {
  return fpSplitData != nullptr ? fpSplitData->fvpSplitValues : NO_SPLIT_VALUES;
}

void KVOInputAdapter::ChangeSplit() {
  if (fpProcedure == nullptr || !fbSplitFile) return;
  fpProcedure->SplitChange();
  ++fSplitCount;
  if (fpSplitData == nullptr) return;
  const int nSplitVars = std::max(0, fpProcDS->GetNumSplitVars());
  std::vector<OBS*>& values = fpSplitData->fvpSplitValues;
  // A kept group revisited in a later pass keeps the values of the first.
  if (values.size() == static_cast<size_t>(nSplitVars)) return;
  KVO_ASSERT(fpSplitData->fvpSplitValues.size() == 0);
  for (OBS* array : values) delete[] array;
  values.assign(static_cast<size_t>(nSplitVars), nullptr);
  if (fpDSIter == nullptr) return;
  for (int i = 0; i < nSplitVars; ++i) {
    const int vormInd = fpProcDS->GetSplitVarIndex(i);
    const KVOCaseValueReader reader(*fpDSIter, vormInd, false);
    const VORM_Variable* variable = fpProcDS->GetVariable(vormInd);
    // A string keeps all its cells; a number, or a string of up to 8 bytes, one.
    const int nCells = VORM_CellCount(variable != nullptr ? variable->GetType() : 0);
    OBS* array = new OBS[static_cast<size_t>(nCells)];
    const OBS* first = &reader.Value();
    std::copy(first, first + nCells, array);
    values[static_cast<size_t>(i)] = array;
  }
}

void KVOInputAdapter::AdjustForSplitFile() {
  if (fSplitCount < 1) return;
  if (!fbKeepSplitInfo) ClearVarAdapters();
  CreateVarAdapters();
  PrepareNewSplit();
}

void KVOInputAdapter::ResetSplitNoIter() {
  KVO_ASSERT(fpDSIter == 0);
  KVO_ASSERT(fbKeepSplitInfo);
  fSplitCount = 0;
  fpSplitData = fvAllSplitData.empty() ? nullptr : &fvAllSplitData.front();
}

void KVOInputAdapter::ChangeSplitNoIter() {
  KVO_ASSERT(fpDSIter == 0);
  KVO_ASSERT(fbKeepSplitInfo);
  if (!fbSplitFile) return;
  // Called once before each stored group; a call beyond the last is ignored.
  if (fSplitCount < 0 || static_cast<size_t>(fSplitCount) >= fvAllSplitData.size()) return;
  fpSplitData = &fvAllSplitData[static_cast<size_t>(fSplitCount)];
  ++fSplitCount;
}

int KVOInputAdapter::GetCumNCases() const {
  if (fSplitCount != 0 && fbKeepSplitInfo) {
    KVO_ASSERT_TEXT(static_cast<size_t>(fSplitCount) <= fvAllSplitData.size(),
                    "fSplitCount <= fvAllSplitData.size()");
    const size_t nGroups = std::min(static_cast<size_t>(fSplitCount), fvAllSplitData.size());
    int sum = 0;
    for (size_t k = 0; k < nGroups; ++k) sum += fvAllSplitData[k].fNCases;
    return sum;
  }
  KVO_ASSERT(fvAllSplitData.size() == 1);
  return fpSplitData != nullptr ? fpSplitData->fNCases : 0;
}

int KVOInputAdapter::GetSplitNamesAndLabels(std::vector<std::string>& names,
                                            std::vector<std::string>& labels) const {
  const int nSplitVars = std::max(0, fpProcDS->GetNumSplitVars());
  names.assign(static_cast<size_t>(nSplitVars), std::string());
  labels.assign(static_cast<size_t>(nSplitVars), std::string());
  for (int i = 0; i < nSplitVars; ++i) {
    const VORM_Variable* variable = fpProcDS->GetVariable(fpProcDS->GetSplitVarIndex(i));
    if (variable == nullptr) continue;
    if (const char* name = variable->GetName()) names[static_cast<size_t>(i)] = name;
    if (const char* label = variable->GetLabel()) labels[static_cast<size_t>(i)] = label;
  }
  return nSplitVars;
}

int KVOInputAdapter::GetSplitValuesAndLabels(std::vector<std::string>& values,
                                             std::vector<std::string>& labels) const {
  const int nSplitVars = std::max(0, fpProcDS->GetNumSplitVars());
  values.assign(static_cast<size_t>(nSplitVars), std::string());
  labels.assign(static_cast<size_t>(nSplitVars), std::string());
  const std::vector<OBS*>& groupValues = GetSplitValues();
  for (int i = 0; i < nSplitVars; ++i) {
    const VORM_Variable* variable = fpProcDS->GetVariable(fpProcDS->GetSplitVarIndex(i));
    // No value is stored before the group's first case was read.
    const OBS* value =
        static_cast<size_t>(i) < groupValues.size() ? groupValues[static_cast<size_t>(i)] : nullptr;
    if (variable == nullptr || value == nullptr) continue;
    if (fpValidSpecs != nullptr) {
      values[static_cast<size_t>(i)] = fpValidSpecs->ConvertObsToString(value, *variable, true);
    }
    if (const char* label = VORM_ValueLabelMap(variable->GetValueLabels()).GetLabel(value)) {
      labels[static_cast<size_t>(i)] = label;
    }
  }
  return nSplitVars;
}
