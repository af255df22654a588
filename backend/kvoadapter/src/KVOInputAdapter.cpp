#include "kvoadapter/KVOInputAdapter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "KVOAssert.h"
#include "kvoadapter/KVOCommonDisplay.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOInputAdapter";

// Returned by the list accessors while no split group's data exist.
const std::vector<KVOCatVarAdapter*> NO_CAT_ADAPTERS;
const std::vector<KVOContVarAdapter*> NO_CONT_ADAPTERS;

// The data source's new iterator as the procedure framework's kind, or null.
// An iterator of another kind is deleted, since nobody else would.
std::unique_ptr<ProcDSIterator> NewProcIterator(ProcedureDataSource& dataSource) {
  std::unique_ptr<VORM_InputCaseIterator> iterator(dataSource.NewCaseIterator(0));
  if (dynamic_cast<ProcDSIterator*>(iterator.get()) == nullptr) return nullptr;
  return std::unique_ptr<ProcDSIterator>(static_cast<ProcDSIterator*>(iterator.release()));
}

// Appends an adapter to a list that owns its entries; the adapter is not
// lost when the list cannot grow.
template <typename Adapter>
void AppendOwned(std::vector<Adapter*>& list, std::unique_ptr<Adapter> adapter) {
  list.push_back(adapter.get());
  adapter.release();
}
}  // namespace

// --- Split group data ------------------------------------------------------------

SplitData::SplitData(SplitData&& other) noexcept { *this = std::move(other); }

SplitData& SplitData::operator=(SplitData&& other) noexcept {
  if (this == &other) return *this;
  Release();
  fvpAdaptCatVar = std::exchange(other.fvpAdaptCatVar, {});
  fvpAdaptContVar = std::exchange(other.fvpAdaptContVar, {});
  fvpAdaptMatrix = std::exchange(other.fvpAdaptMatrix, {});
  fvpSplitValues = std::exchange(other.fvpSplitValues, {});
  fNCases = other.fNCases;
  fNRecords = other.fNRecords;
  fNValidCases = other.fNValidCases;
  fNInvalidCases = other.fNInvalidCases;
  fWeightNCases = other.fWeightNCases;
  fWeightNValidCases = other.fWeightNValidCases;
  fWeightNInvalidCases = other.fWeightNInvalidCases;
  return *this;
}

SplitData::~SplitData() { Release(); }

void SplitData::Release() noexcept {
  for (KVOCatVarAdapter* adapter : fvpAdaptCatVar) delete adapter;
  for (KVOContVarAdapter* adapter : fvpAdaptContVar) delete adapter;
  for (KVOMatrixSpecAdapter* adapter : fvpAdaptMatrix) delete adapter;
  for (OBS* values : fvpSplitValues) delete[] values;
  fvpAdaptCatVar.clear();
  fvpAdaptContVar.clear();
  fvpAdaptMatrix.clear();
  fvpSplitValues.clear();
}

// --- Construction and teardown ------------------------------------------------

KVOInputAdapter::KVOInputAdapter(KVOVarValidSpecs* specs, ProcedureDataSource& dataSource)
    : fpValidSpecs(specs),
      fpProcDS(&dataSource),
      fMsg(dataSource),
      fvAdaptInds(specs != nullptr ? static_cast<size_t>(specs->GetNRecordVars()) : 0, -1),
      fWeightInd(specs != nullptr ? specs->GetWeightVarInd() : -1),
      fbOrigWeightFilter(dataSource.GetWeightFilter()),
      fSysMis(VORM_SYSMIS),
      fbScoreIteration(false),
      fDataPassCount(0),
      fpProcedure(nullptr),
      fpSplitData(nullptr),
      fWeightAdjType(WeightRound),
      fbSplitFile(false),
      fbKeepSplitInfo(true),
      fSplitCount(0) {
  KVO_ASSERT(fpValidSpecs != 0);
  ApplyWeightFilterRule();
  fpDSIter = NewProcIterator(*fpProcDS);
  RefreshPlans();
  CreateVarAdapters();
}

KVOInputAdapter::~KVOInputAdapter() {
  ClearVarAdapters();
  fpDSIter.reset();
  fbScoreIteration = false;
  ApplyWeightFilterRule();
}

void KVOInputAdapter::ApplyWeightFilterRule() {
  if (fpProcDS->GetWeightVarIndex() < 0) return;
  const bool wanted = fbOrigWeightFilter && !fbScoreIteration;
  if (fpProcDS->GetWeightFilter() != wanted) fpProcDS->SetWeightFilter(wanted);
}

void KVOInputAdapter::RefreshPlans() {
  fvCatPlan.clear();
  fvContPlan.clear();
  fvMatrixPlan.clear();
  fvFreePlan.clear();
  fCaseCountInd = -1;
  fGlobalCountInd = -1;
  if (fpValidSpecs == nullptr) return;

  auto planOf = [this](int recInd, int fallbackVormInd) {
    SlotPlan plan{recInd, fallbackVormInd, true, true, false};
    if (const KVOVariableDesc* desc = fpValidSpecs->GetRecVarDescPtr(recInd)) {
      plan.fVormInd = desc->GetVORMVarIndex();
      plan.fbProcSysMiss = desc->GetProcSysMiss();
      plan.fbScoreSysMiss = desc->GetScoreSysMiss();
      plan.fbUserMissValid = !desc->GetExclUserMiss();
    }
    return plan;
  };
  const std::vector<int>& recCat = fpValidSpecs->GetRecCatVars();
  const std::vector<int>& catX = fpValidSpecs->GetCatVarsX();
  for (size_t i = 0; i < recCat.size(); ++i)
    fvCatPlan.push_back(planOf(recCat[i], i < catX.size() ? catX[i] : -1));
  const std::vector<int>& recCont = fpValidSpecs->GetRecContVars();
  const std::vector<int>& contX = fpValidSpecs->GetContVarsX();
  for (size_t i = 0; i < recCont.size(); ++i) {
    fvContPlan.push_back(planOf(recCont[i], i < contX.size() ? contX[i] : -1));
  }
  for (int m = 0; m < fpValidSpecs->GetNMatrices(); ++m) {
    const KVOMatrixSpecs* spec = fpValidSpecs->GetMatrixSpecsPtr(m);
    fvMatrixPlan.push_back(
        MatrixPlan{spec->GetRecVarIndex(), spec->GetGroupIndex(), spec, !spec->GetExclUserMiss()});
  }
  for (int recInd : fpValidSpecs->GetFreeIndices()) {
    const KVOVariableDesc* desc = fpValidSpecs->GetRecVarDescPtr(recInd);
    const bool catVar = desc == nullptr || desc->GetCatVar();
    fvFreePlan.push_back(FreePlan{recInd, catVar ? -1.0 : fSysMis});
  }
  fCaseCountInd = fpValidSpecs->GetCaseCountInd();
  fGlobalCountInd = fpValidSpecs->GetGlobalCountInd();
}

// --- Adapters -------------------------------------------------------------------

void KVOInputAdapter::CreateVarAdapters() {
  if (fpValidSpecs == nullptr) return;
  const size_t nSplitData = fvAllSplitData.size();
  if (fSplitCount >= 0 && static_cast<size_t>(fSplitCount) < nSplitData) {
    // Kept data of a group met in an earlier pass.
    fpSplitData = &fvAllSplitData[static_cast<size_t>(fSplitCount)];
    ZeroCounters();
    return;
  }
  if (fbKeepSplitInfo) {
    KVO_ASSERT_TEXT(static_cast<size_t>(fSplitCount) == nSplitData, "fSplitCount == nSplitData");
  } else {
    KVO_ASSERT(nSplitData == 0);
  }
  fvAllSplitData.emplace_back();
  fpSplitData = &fvAllSplitData.back();
  CreateAdaptersOfCurrentGroup();
  ZeroCounters();
}

void KVOInputAdapter::CreateAdaptersOfCurrentGroup() {
  SplitData& data = *fpSplitData;
  // The first adapters made collect categories and ranges in the pass they
  // are made in: the first pass, or a later one when the data source gave
  // no iterator before.
  if (fpDSIter != nullptr && fCollectPass < 0) fCollectPass = fDataPassCount;
  for (size_t i = 0; i < fvCatPlan.size(); ++i) {
    const SlotPlan& plan = fvCatPlan[i];
    if (plan.fRecInd >= 0 && static_cast<size_t>(plan.fRecInd) < fvAdaptInds.size()) {
      fvAdaptInds[static_cast<size_t>(plan.fRecInd)] = static_cast<int>(i);
    }
    // Adapters read through the host iterator; without one none can be made.
    if (fpDSIter != nullptr) {
      AppendOwned(data.fvpAdaptCatVar, std::make_unique<KVOCatVarAdapter>(*fpProcDS, *fpDSIter, plan.fVormInd,
                                                                          plan.fbUserMissValid));
    }
  }
  for (size_t i = 0; i < fvContPlan.size(); ++i) {
    const SlotPlan& plan = fvContPlan[i];
    if (plan.fRecInd >= 0 && static_cast<size_t>(plan.fRecInd) < fvAdaptInds.size()) {
      fvAdaptInds[static_cast<size_t>(plan.fRecInd)] = static_cast<int>(i);
    }
    if (fpDSIter != nullptr) {
      AppendOwned(data.fvpAdaptContVar,
                  std::make_unique<KVOContVarAdapter>(*fpDSIter, plan.fVormInd, plan.fbUserMissValid));
    }
  }
  if (fpDSIter != nullptr) {
    for (const MatrixPlan& plan : fvMatrixPlan) {
      AppendOwned(data.fvpAdaptMatrix,
                  std::make_unique<KVOMatrixSpecAdapter>(*fpDSIter, plan.fpSpec, plan.fbUserMissValid));
    }
  }
}

void KVOInputAdapter::ZeroCounters() {
  SplitData& data = *fpSplitData;
  data.fNCases = 0;
  data.fNRecords = 0;
  data.fNValidCases = 0;
  data.fNInvalidCases = 0;
  data.fWeightNCases = 0.0;
  data.fWeightNValidCases = 0.0;
  data.fWeightNInvalidCases = 0.0;
}

// Each group's data frees its adapters and value arrays.
void KVOInputAdapter::ClearVarAdapters() {
  fvAllSplitData.clear();
  fpSplitData = nullptr;
}

// --- Per-case steps -----------------------------------------------------------------
// These run once per host case. They allocate nothing and walk the plans
// taken at the start of the pass; the adapters are those of the current
// split group. They collect (new categories, ranges, reports of bad
// matrices) in the pass whose adapters were made first, and replay after.

int KVOInputAdapter::GetRecordSize() const {
  if (fpValidSpecs == nullptr) return 0;
  int size = static_cast<int>(fpValidSpecs->GetRecCatVars().size() + fpValidSpecs->GetRecContVars().size() +
                              fpValidSpecs->GetFreeIndices().size()) +
             fpValidSpecs->GetNMatrices();
  if (fpValidSpecs->GetCaseCountInd() >= 0) ++size;
  if (fpValidSpecs->GetGlobalCountInd() >= 0) ++size;
  if (fWeightInd >= 0) ++size;
  return size;
}

bool KVOInputAdapter::EncodeCatVars(double* record) const {
  if (fpSplitData == nullptr) return fvCatPlan.empty();
  // Everything the adapters' calls could in principle change is read once:
  // the lists' arrays, the mode and the missing value.
  const std::vector<KVOCatVarAdapter*>& list = fpSplitData->fvpAdaptCatVar;
  KVOCatVarAdapter* const* const adapters = list.data();
  const SlotPlan* const plans = fvCatPlan.data();
  const size_t n = std::min(fvCatPlan.size(), list.size());
  const bool score = fbScoreIteration;
  const double sysMis = fSysMis;
  bool ok = n == fvCatPlan.size();
  if (fDataPassCount == fCollectPass) {
    for (size_t i = 0; i < n; ++i) {
      const int code = adapters[i]->Encode();
      ok &= StoreCode(record, plans[i], code, score, sysMis);
    }
  } else {
    for (size_t i = 0; i < n; ++i) {
      const int code = adapters[i]->EncodeOldVars();
      ok &= StoreCode(record, plans[i], code, score, sysMis);
    }
  }
  return ok;
}

bool KVOInputAdapter::GetContVars(double* record) const {
  if (fpSplitData == nullptr) return fvContPlan.empty();
  const std::vector<KVOContVarAdapter*>& list = fpSplitData->fvpAdaptContVar;
  KVOContVarAdapter* const* const adapters = list.data();
  const SlotPlan* const plans = fvContPlan.data();
  const size_t n = std::min(fvContPlan.size(), list.size());
  const bool score = fbScoreIteration;
  const double sysMis = fSysMis;
  bool ok = n == fvContPlan.size();
  if (fDataPassCount == fCollectPass) {
    for (size_t i = 0; i < n; ++i) {
      const double value = adapters[i]->GetValue();
      record[plans[i].fRecInd] = value;
      ok &= value != sysMis || (score ? plans[i].fbScoreSysMiss : plans[i].fbProcSysMiss);
    }
  } else {
    for (size_t i = 0; i < n; ++i) {
      const double value = adapters[i]->GetOldValue();
      record[plans[i].fRecInd] = value;
      ok &= value != sysMis || (score ? plans[i].fbScoreSysMiss : plans[i].fbProcSysMiss);
    }
  }
  return ok;
}

bool KVOInputAdapter::RecodeMatrixSpecs(double* record) const {
  if (fvMatrixPlan.empty()) return true;  // the usual case, decided before any set-up
  if (fpSplitData == nullptr) return false;
  const std::vector<KVOMatrixSpecAdapter*>& adapters = fpSplitData->fvpAdaptMatrix;
  const size_t n = std::min(fvMatrixPlan.size(), adapters.size());
  bool ok = true;
  for (size_t m = 0; m < n; ++m) {
    const MatrixPlan& plan = fvMatrixPlan[m];
    bool bad = false;
    const double value = adapters[m]->Recode(bad);
    record[plan.fRecInd] = value;
    if (value == fSysMis) ok = false;
    if (bad) {
      // Later matrices are not recoded for this case; the combination is
      // reported in the first pass only.
      if (fDataPassCount == fCollectPass)
        HandleBadMatrixSpec(plan.fGroupIndex, plan.fpSpec->GetMatrixVarListPtr());
      break;
    }
  }
  return ok && n == fvMatrixPlan.size();
}

void KVOInputAdapter::HandleBadMatrixSpec(int groupIndex, const std::vector<int>* varList) const {
  if (fpDSIter != nullptr) fMsg.MatrixSpecNotFound(groupIndex, varList, *fpDSIter);
}

bool KVOInputAdapter::FillFreeVars(double* record) const {
  for (const FreePlan& plan : fvFreePlan) record[plan.fRecInd] = plan.fValue;
  return true;
}

bool KVOInputAdapter::PreprocessCase() { return true; }

bool KVOInputAdapter::PreprocessRecord(double*) { return true; }

void KVOInputAdapter::PrepareNewPass() {}

void KVOInputAdapter::PrepareNewSplit() {}

bool KVOInputAdapter::ProcessWeight(double* record) const {
  // floor() of a number of at least 1, by integer conversion instead of a
  // library call; from 2^52 on every double is whole already.
  auto floorOf = [](double x) {
    return x < 4503599627370496.0 ? static_cast<double>(static_cast<int64_t>(x)) : x;
  };
  if (fWeightInd < 0) return true;
  double& slot = record[fWeightInd];
  const double w = fpDSIter != nullptr ? fpDSIter->Weight() : fSysMis;
  if (w == fSysMis) {
    slot = 0.0;
    return false;
  }
  switch (fWeightAdjType) {
    case WeightRound:
      if (w >= 0.5) {
        slot = floorOf(w + 0.5);
        return true;
      }
      break;
    case WeightTruncate:
      if (w >= 1.0) {
        slot = floorOf(w);
        return true;
      }
      break;
    default:  // WeightAsIs, and any other value
      if (w > 0.0) {
        slot = w;
        return true;
      }
      break;
  }
  slot = 0.0;
  return false;
}

bool KVOInputAdapter::StoreCaseCount(double* record) const {
  if (fCaseCountInd < 0 || fpSplitData == nullptr) return false;
  record[fCaseCountInd] = static_cast<double>(fpSplitData->fNCases - 1);
  return true;
}

bool KVOInputAdapter::StoreGlobalCount(double* record) const {
  if (fGlobalCountInd < 0 || fpDSIter == nullptr) return false;
  record[fGlobalCountInd] = static_cast<double>(fpDSIter->GetCaseNumber());
  return true;
}

bool KVOInputAdapter::UpdateValidCatVars() {
  if (fpSplitData == nullptr) return true;
  const std::vector<KVOCatVarAdapter*>& adapters = fpSplitData->fvpAdaptCatVar;
  const size_t n = std::min(fvCatPlan.size(), adapters.size());
  for (size_t i = 0; i < n; ++i) {
    if (!adapters[i]->UpdateValid() && !SysMissAllowed(fvCatPlan[i])) return false;
  }
  return true;
}

bool KVOInputAdapter::UpdateValidContVars() {
  if (fpSplitData == nullptr) return true;
  const std::vector<KVOContVarAdapter*>& adapters = fpSplitData->fvpAdaptContVar;
  const size_t n = std::min(fvContPlan.size(), adapters.size());
  for (size_t i = 0; i < n; ++i) {
    if (!adapters[i]->UpdateValid() && !SysMissAllowed(fvContPlan[i])) return false;
  }
  return true;
}

bool KVOInputAdapter::UpdateValidMatrixVars() {
  if (fpSplitData == nullptr) return true;
  for (KVOMatrixSpecAdapter* adapter : fpSplitData->fvpAdaptMatrix) {
    if (!adapter->UpdateValid()) return false;
  }
  return true;
}

bool KVOInputAdapter::FatalError() const { return fpProcDS->FatalError(); }

// --- Counters -----------------------------------------------------------------------

int KVOInputAdapter::GetNCases() const { return fpSplitData != nullptr ? fpSplitData->fNCases : 0; }
int KVOInputAdapter::GetNRecords() const { return fpSplitData != nullptr ? fpSplitData->fNRecords : 0; }
int KVOInputAdapter::GetNValidCases() const { return fpSplitData != nullptr ? fpSplitData->fNValidCases : 0; }
int KVOInputAdapter::GetNInvalidCases() const {
  return fpSplitData != nullptr ? fpSplitData->fNInvalidCases : 0;
}
double KVOInputAdapter::GetWeightNCases() const {
  return fpSplitData != nullptr ? fpSplitData->fWeightNCases : 0.0;
}
double KVOInputAdapter::GetWeightNValidCases() const {
  return fpSplitData != nullptr ? fpSplitData->fWeightNValidCases : 0.0;
}
double KVOInputAdapter::GetWeightNInvalidCases() const {
  return fpSplitData != nullptr ? fpSplitData->fWeightNInvalidCases : 0.0;
}

void KVOInputAdapter::IncrNCases() {
  if (fpSplitData != nullptr) ++fpSplitData->fNCases;
}
void KVOInputAdapter::IncrNRecords() {
  if (fpSplitData != nullptr) ++fpSplitData->fNRecords;
}
void KVOInputAdapter::IncrNValidCases() {
  if (fpSplitData != nullptr) ++fpSplitData->fNValidCases;
}
void KVOInputAdapter::IncrNInvalidCases() {
  if (fpSplitData != nullptr) ++fpSplitData->fNInvalidCases;
}

namespace {
// A record's weight contribution: its weight element, or 1.0 without a
// weight slot. A null record contributes nothing.
double WeightOf(const double* record, int weightInd) {
  if (weightInd < 0) return 1.0;
  return record != nullptr ? record[weightInd] : 0.0;
}
}  // namespace

void KVOInputAdapter::IncrWeightNCases(double* record) {
  if (fpSplitData != nullptr) fpSplitData->fWeightNCases += WeightOf(record, fWeightInd);
}
void KVOInputAdapter::IncrWeightNValidCases(double* record) {
  if (fpSplitData != nullptr) fpSplitData->fWeightNValidCases += WeightOf(record, fWeightInd);
}
void KVOInputAdapter::IncrWeightNInvalidCases(double* record) {
  if (fpSplitData != nullptr) fpSplitData->fWeightNInvalidCases += WeightOf(record, fWeightInd);
}

// --- Data passes and modes --------------------------------------------------------

ProcDSIterator* KVOInputAdapter::AdjustForDSIterator(bool scoreIteration) {
  // No pass may start after the last one was declared: the call is refused
  // before anything changes, and no iterator is taken.
  if (!KVO_ASSERT(!GetLastDataPass())) return nullptr;
  fSplitCount = 0;
  fpSplitData = nullptr;
  fpDSIter.reset();
  fbScoreIteration = scoreIteration;
  ApplyWeightFilterRule();
  fpDSIter = NewProcIterator(*fpProcDS);
  if (!fbKeepSplitInfo) ClearVarAdapters();
  ++fDataPassCount;
  RefreshPlans();

  const std::vector<int> empty;
  const std::vector<int>& vRecCatVars = fpValidSpecs != nullptr ? fpValidSpecs->GetRecCatVars() : empty;
  const std::vector<int>& vRecContVars = fpValidSpecs != nullptr ? fpValidSpecs->GetRecContVars() : empty;
  for (SplitData& data : fvAllSplitData) {
    fpSplitData = &data;
    ZeroCounters();
    // A group made while the data source gave no iterator has no adapters:
    // they are made now that there is one.
    if (fpDSIter != nullptr && data.fvpAdaptCatVar.empty() && data.fvpAdaptContVar.empty() &&
        data.fvpAdaptMatrix.empty()) {
      CreateAdaptersOfCurrentGroup();
    }
    KVO_ASSERT(vRecCatVars.size() == fpSplitData->fvpAdaptCatVar.size());
    KVO_ASSERT(vRecContVars.size() == fpSplitData->fvpAdaptContVar.size());
    // Re-bound, not re-created: the adapters keep their categories and ranges.
    RebindAdapters(data);
  }
  if (!fvAllSplitData.empty()) fpSplitData = &fvAllSplitData.front();
  if (!fbKeepSplitInfo) CreateVarAdapters();
  if (fpDSIter != nullptr) PrepareNewPass();
  return fpDSIter.get();
}

void KVOInputAdapter::RefreshForPass() {
  if (fpDSIter == nullptr) return;
  RefreshPlans();
  for (SplitData& data : fvAllSplitData) RebindAdapters(data);
}

// The readers are made anew with the plans' user-missing flags; each reads
// its variable's user-missing values again.
void KVOInputAdapter::RebindAdapters(SplitData& data) {
  if (fpDSIter == nullptr) return;
  for (size_t i = 0; i < data.fvpAdaptCatVar.size() && i < fvCatPlan.size(); ++i) {
    data.fvpAdaptCatVar[i]->SetCaseValueReader(*fpDSIter, fvCatPlan[i].fbUserMissValid);
  }
  for (size_t i = 0; i < data.fvpAdaptContVar.size() && i < fvContPlan.size(); ++i) {
    data.fvpAdaptContVar[i]->SetCaseValueReader(*fpDSIter, fvContPlan[i].fbUserMissValid);
  }
  for (size_t m = 0; m < data.fvpAdaptMatrix.size() && m < fvMatrixPlan.size(); ++m) {
    data.fvpAdaptMatrix[m]->SetCaseValueReader(*fpDSIter, fvMatrixPlan[m].fbUserMissValid);
  }
}

void KVOInputAdapter::ClearDSIterator() { fpDSIter.reset(); }

void KVOInputAdapter::SetScoreIteration(bool scoreIteration) {
  fbScoreIteration = scoreIteration;
  ApplyWeightFilterRule();
}

void KVOInputAdapter::SetLastDataPass() { fpProcDS->SetLastPass(); }

bool KVOInputAdapter::GetLastDataPass() const { return fpProcDS->IsLastPass(); }

bool KVOInputAdapter::IsCaseCountSet() const {
  return fpValidSpecs != nullptr && fpValidSpecs->GetCaseCountInd() >= 0;
}

bool KVOInputAdapter::IsGlobalCountSet() const {
  return fpValidSpecs != nullptr && fpValidSpecs->GetGlobalCountInd() >= 0;
}

bool KVOInputAdapter::GetStrongListWise() const {
  return fpValidSpecs != nullptr && fpValidSpecs->GetStrongListWise();
}

// --- Shape of the record ----------------------------------------------------------

int KVOInputAdapter::GetNCatVars() const {
  return fpValidSpecs != nullptr ? static_cast<int>(fpValidSpecs->GetRecCatVars().size()) : 0;
}

int KVOInputAdapter::GetNContVars() const {
  return fpValidSpecs != nullptr ? GetNContVarsNoMatrix() + fpValidSpecs->GetNMatrices() : 0;
}

int KVOInputAdapter::GetNContVarsNoMatrix() const {
  return fpValidSpecs != nullptr ? static_cast<int>(fpValidSpecs->GetRecContVars().size()) : 0;
}

int KVOInputAdapter::GetNFreeVars() const {
  return fpValidSpecs != nullptr ? static_cast<int>(fpValidSpecs->GetFreeIndices().size()) : 0;
}

int KVOInputAdapter::GetNMatrixSpecs() const {
  return fpValidSpecs != nullptr ? fpValidSpecs->GetNMatrices() : 0;
}

// --- Adapters and categories ------------------------------------------------------
// A lookup gives its "or" result for a negative index, one beyond the
// record, a slot of the other kind, or a slot without adapter.

KVOCatVarAdapter* KVOInputAdapter::CatAdapterAt(int recInd) const {
  if (fpValidSpecs == nullptr || fpSplitData == nullptr) return nullptr;
  if (recInd < 0 || static_cast<size_t>(recInd) >= fvAdaptInds.size()) return nullptr;
  const KVOVariableDesc* desc = fpValidSpecs->GetRecVarDescPtr(recInd);
  if (desc == nullptr || !desc->GetCatVar()) return nullptr;
  const int position = fvAdaptInds[static_cast<size_t>(recInd)];
  const std::vector<KVOCatVarAdapter*>& adapters = fpSplitData->fvpAdaptCatVar;
  if (position < 0 || static_cast<size_t>(position) >= adapters.size()) return nullptr;
  // The slot must be the one the adapter reads: a slot re-added as the other
  // kind keeps its place in the other list.
  if (static_cast<size_t>(position) >= fvCatPlan.size() ||
      fvCatPlan[static_cast<size_t>(position)].fRecInd != recInd)
    return nullptr;
  return adapters[static_cast<size_t>(position)];
}

KVOContVarAdapter* KVOInputAdapter::ContAdapterAt(int recInd) const {
  if (fpValidSpecs == nullptr || fpSplitData == nullptr) return nullptr;
  if (recInd < 0 || static_cast<size_t>(recInd) >= fvAdaptInds.size()) return nullptr;
  const KVOVariableDesc* desc = fpValidSpecs->GetRecVarDescPtr(recInd);
  if (desc == nullptr || desc->GetCatVar()) return nullptr;
  const int position = fvAdaptInds[static_cast<size_t>(recInd)];
  const std::vector<KVOContVarAdapter*>& adapters = fpSplitData->fvpAdaptContVar;
  if (position < 0 || static_cast<size_t>(position) >= adapters.size()) return nullptr;
  if (static_cast<size_t>(position) >= fvContPlan.size() ||
      fvContPlan[static_cast<size_t>(position)].fRecInd != recInd)
    return nullptr;
  return adapters[static_cast<size_t>(position)];
}

namespace {
// The record index of a host variable, -1 without specification or slot.
int RecIndexOf(const KVOVarValidSpecs* specs, int vormInd) {
  return specs != nullptr ? specs->GetRecVarIndex(vormInd) : -1;
}
}  // namespace

KVOCatVarAdapter* KVOInputAdapter::GetCatAdapter(int vormInd) const {
  return CatAdapterAt(RecIndexOf(fpValidSpecs, vormInd));
}

KVOCatVarAdapter* KVOInputAdapter::GetCatRecAdapter(int recInd) const { return CatAdapterAt(recInd); }

KVOContVarAdapter* KVOInputAdapter::GetContAdapter(int vormInd) const {
  return ContAdapterAt(RecIndexOf(fpValidSpecs, vormInd));
}

KVOContVarAdapter* KVOInputAdapter::GetContRecAdapter(int recInd) const { return ContAdapterAt(recInd); }

int KVOInputAdapter::GetCatVarSize(int vormInd) const {
  return GetRecordCatVarSize(RecIndexOf(fpValidSpecs, vormInd));
}

int KVOInputAdapter::GetRecordCatVarSize(int recInd) const {
  const KVOCatVarAdapter* adapter = CatAdapterAt(recInd);
  return adapter != nullptr ? adapter->GetSize() : 0;
}

const std::vector<OBS*>* KVOInputAdapter::GetCategoryObs(int vormInd) const {
  return GetRecordCatObs(RecIndexOf(fpValidSpecs, vormInd));
}

const std::vector<OBS*>* KVOInputAdapter::GetRecordCatObs(int recInd) const {
  const KVOCatVarAdapter* adapter = CatAdapterAt(recInd);
  return adapter != nullptr ? adapter->GetCategories() : nullptr;
}

double KVOInputAdapter::GetContMinValue(int vormInd) const {
  return GetRecMinValue(RecIndexOf(fpValidSpecs, vormInd));
}

double KVOInputAdapter::GetRecMinValue(int recInd) const {
  const KVOContVarAdapter* adapter = ContAdapterAt(recInd);
  return adapter != nullptr ? adapter->GetMinValue() : fSysMis;
}

double KVOInputAdapter::GetContMaxValue(int vormInd) const {
  return GetRecMaxValue(RecIndexOf(fpValidSpecs, vormInd));
}

double KVOInputAdapter::GetRecMaxValue(int recInd) const {
  const KVOContVarAdapter* adapter = ContAdapterAt(recInd);
  return adapter != nullptr ? adapter->GetMaxValue() : fSysMis;
}

int KVOInputAdapter::EncodeCatValue(int vormInd, const OBS* value, bool& newValue, bool add) {
  return EncodeRecordCatValue(RecIndexOf(fpValidSpecs, vormInd), value, newValue, add);
}

int KVOInputAdapter::EncodeRecordCatValue(int recInd, const OBS* value, bool& newValue, bool add) {
  KVOCatVarAdapter* adapter = CatAdapterAt(recInd);
  if (adapter == nullptr || value == nullptr) {
    newValue = false;
    return -1;
  }
  return adapter->Encode(value, newValue, add);
}

const OBS* KVOInputAdapter::DecodeCatValueX(int vormInd, int code) const {
  int decodedVormInd = -1;
  return DecodeCatValue(RecIndexOf(fpValidSpecs, vormInd), code, decodedVormInd);
}

const OBS* KVOInputAdapter::DecodeRecordCatValue(int recInd, int code) const {
  int decodedVormInd = -1;
  return DecodeCatValue(recInd, code, decodedVormInd);
}

const OBS* KVOInputAdapter::DecodeCatValue(int recInd, int code, int& vormInd) const {
  vormInd = -1;
  const KVOCatVarAdapter* adapter = CatAdapterAt(recInd);
  if (adapter == nullptr) return nullptr;
  const OBS* value = adapter->Decode(code);
  if (value != nullptr) vormInd = fpValidSpecs->GetVORMVarIndex(recInd);
  return value;
}

bool KVOInputAdapter::ReorderCategories(int vormInd, bool ascending) {
  return ReorderRecordCats(RecIndexOf(fpValidSpecs, vormInd), ascending);
}

bool KVOInputAdapter::ReorderRecordCats(int recInd, bool ascending) {
  KVOCatVarAdapter* adapter = CatAdapterAt(recInd);
  return adapter != nullptr && adapter->ReorderCategoryMap(*fpProcDS, ascending);
}

const std::vector<KVOCatVarAdapter*>& KVOInputAdapter::GetCatAdapters() const {
  return fpSplitData != nullptr ? fpSplitData->fvpAdaptCatVar : NO_CAT_ADAPTERS;
}

const std::vector<KVOContVarAdapter*>& KVOInputAdapter::GetContAdapters() const {
  return fpSplitData != nullptr ? fpSplitData->fvpAdaptContVar : NO_CONT_ADAPTERS;
}

namespace {
// What a record slot holds, as the adapter's dump names it: the host
// variable's name, or the kind of a slot no host variable feeds.
std::string SlotName(const KVOVarValidSpecs& specs, const VORM_DataSource& dataSource, int recInd) {
  const int vormInd = specs.GetVORMVarIndex(recInd);
  if (vormInd >= 0) {
    const VORM_Variable* variable = dataSource.GetVariable(vormInd);
    if (variable != nullptr && variable->GetName() != nullptr) return variable->GetName();
    return "<no variable " + std::to_string(vormInd) + ">";
  }
  if (recInd == specs.GetCaseCountInd()) return "Case ID variable";
  if (recInd == specs.GetGlobalCountInd()) return "Global case ID variable";
  if (recInd == specs.GetWeightVarInd()) return "Weight variable";
  for (int matrix = 0; matrix < specs.GetNMatrices(); ++matrix) {
    if (recInd == specs.GetRecMatrixInd(matrix)) return "MATRIX specification";
  }
  // A free slot, which the component fills itself.
  return "Internal Variable";
}
}  // namespace

// The shape of the record, one line per slot, the current split group's
// categorical adapters, then its counters and the pass state.
void KVOInputAdapter::Display() const {
  namespace D = KVOCommonDisplay;
  D::DisplayStart("KVOInputAdapter");
  D::DisplayI("Number of categorical variables", GetNCatVars());
  D::DisplayI("Number of continuous variables", GetNContVarsNoMatrix());
  D::DisplayI("Number of MATRIX specifications", GetNMatrixSpecs());
  D::DisplayText(1, "List of component variable indices and Korel variable names");
  const int nSlots = fpValidSpecs != nullptr ? fpValidSpecs->GetNRecordVars() : 0;
  for (int recInd = 0; recInd < nSlots; ++recInd) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "Component variable index = %d, Korel name = ", recInd);
    D::DisplayText(1, prefix + SlotName(*fpValidSpecs, *fpProcDS, recInd));
  }
  for (const KVOCatVarAdapter* adapter : GetCatAdapters()) {
    if (adapter != nullptr) adapter->Display();
  }
  D::DisplayI("Number of cases read from the procedure data source", GetNCases());
  D::DisplayI("Number of records passed to the component", GetNRecords());
  D::DisplayB("Indicator of score iteration set", fbScoreIteration);
  D::DisplayI("Data pass counter", fDataPassCount);
  D::DisplayB("Indicator of the last data pass", GetLastDataPass());
  D::DisplayB("Split file indicator", fbSplitFile);
  D::DisplayI("Split file counter", fSplitCount);
  D::DisplayI("Number of valid cases", GetNValidCases());
  D::DisplayI("Number of invalid cases", GetNInvalidCases());
  D::DisplayEnd("KVOInputAdapter");
}

// --- Reordering of encoded category combinations -----------------------------------
// Every code list is decoded into its value combination and inserted, with
// its codes as the entry's extra cells, into a map keyed by the
// combinations; the map's sort then gives the lists' new order. The lists
// are written only after every list was decoded and inserted, so a failure
// leaves them as they were. The map and the buffers are released on every
// path by their owners.

bool KVOInputAdapter::ReorderEncodedRecordCats(const std::vector<int>& recInds,
                                               std::vector<std::vector<int>>& encodedCats) {
  const size_t nCatVars = recInds.size();
  const size_t nCatLists = encodedCats.size();
  if (nCatVars == 0 || nCatLists == 0 || fpValidSpecs == nullptr) return false;

  std::vector<int> varInds(nCatVars, -1);
  for (size_t iCatVar = 0; iCatVar < nCatVars; ++iCatVar) {
    const KVOVariableDesc* pVarDesc = fpValidSpecs->GetRecVarDescPtr(recInds[iCatVar]);
    if (!KVO_ASSERT(pVarDesc != 0 && pVarDesc->GetCatVar())) return false;
    varInds[iCatVar] = pVarDesc->GetVORMVarIndex();
  }
  // A categorical slot without adapter (a free slot) decodes no code; it is
  // refused here, before the host is asked for a key of a variable it lacks.
  for (size_t iCatVar = 0; iCatVar < nCatVars; ++iCatVar) {
    if (CatAdapterAt(recInds[iCatVar]) == nullptr || varInds[iCatVar] < 0) {
      KVO_ASSERT_TEXT(false, "pCurrentObs != 0");
      return false;
    }
  }

  const ObsVecMap::KeySpec keySpecs = ObsVecMap::MakeKeySpec(*fpProcDS, varInds);
  if (keySpecs.size() != nCatVars) return false;
  const auto pValueMap = std::make_unique<ObsVecMap>(keySpecs, nCatVars);
  const size_t nKeyCells = pValueMap->CellSize() - nCatVars;
  std::vector<size_t> varCells(nCatVars);
  size_t cellSum = 0;
  for (size_t iCatVar = 0; iCatVar < nCatVars; ++iCatVar) {
    varCells[iCatVar] = static_cast<size_t>(VORM_CellCount(keySpecs[iCatVar]));
    cellSum += varCells[iCatVar];
  }
  if (cellSum != nKeyCells) return false;

  std::vector<OBS> destKey(nKeyCells);
  OBS* const pDestObs = destKey.data();
  for (size_t iCatList = 0; iCatList < nCatLists; ++iCatList) {
    const std::vector<int>& codes = encodedCats[iCatList];
    if (!KVO_ASSERT(encodedCats[iCatList].size() == nCatVars)) return false;
    size_t offset = 0;
    for (size_t iCatVar = 0; iCatVar < nCatVars; ++iCatVar) {
      int vormInd = -1;
      const OBS* pCurrentObs = DecodeCatValue(recInds[iCatVar], codes[iCatVar], vormInd);
      if (!KVO_ASSERT(pCurrentObs != 0)) return false;
      if (!KVO_ASSERT(vormInd == varInds[iCatVar])) return false;
      std::copy(pCurrentObs, pCurrentObs + varCells[iCatVar], pDestObs + offset);
      offset += varCells[iCatVar];
    }
    if (!KVO_ASSERT(pValueMap->Contains(pDestObs) == 0)) return false;
    OBS* pCodes = pValueMap->Insert(pDestObs);
    for (size_t iCatVar = 0; iCatVar < nCatVars; ++iCatVar) pCodes[iCatVar].num = codes[iCatVar];
  }

  std::vector<OBS*> sortedEntries;
  pValueMap->Sort(sortedEntries);
  if (sortedEntries.size() != nCatLists) return false;
  for (size_t iCatList = 0; iCatList < nCatLists; ++iCatList) {
    const OBS* pCodes = sortedEntries[iCatList] + nKeyCells;
    for (size_t iCatVar = 0; iCatVar < nCatVars; ++iCatVar) {
      encodedCats[iCatList][iCatVar] = static_cast<int>(pCodes[iCatVar].num);
    }
  }
  return true;
}

bool KVOInputAdapter::ReorderEncodedCats(const std::vector<int>& vormInds,
                                         std::vector<std::vector<int>>& encodedCats) {
  std::vector<int> recInds;
  recInds.reserve(vormInds.size());
  for (int vormInd : vormInds) recInds.push_back(RecIndexOf(fpValidSpecs, vormInd));
  return ReorderEncodedRecordCats(recInds, encodedCats);
}
