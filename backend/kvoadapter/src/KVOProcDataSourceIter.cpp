#include "kvoadapter/KVOProcDataSourceIter.h"

namespace {
// Fail reasons.
constexpr int FAIL_NONE = 0;
constexpr int FAIL_NO_RECORD = 1;
constexpr int FAIL_UNREADABLE = 3;
}  // namespace

KVOProcDataSourceIter::KVOProcDataSourceIter(KVOInputAdapter& adapter, bool start)
    : fpProcDSIter(nullptr),
      fbStarted(false),
      fRecord1(adapter.GetRecordSize()),
      fRecord2(adapter.GetRecordSize()),
      fpValues1(nullptr),
      fpValues2(nullptr),
      fbCurrentIsFirst(true),
      fpAdapter(&adapter),
      fbSplitFile(adapter.GetSplitFile()),
      fFailReason(FAIL_NO_RECORD) {
  if (!start) return;
  // The pass runs on the adapter's first iterator: the adapter takes the
  // specification's flags as they are now.
  fpAdapter->RefreshForPass();
  fpProcDSIter = fpAdapter->GetDSIterator();
  if (fpProcDSIter == nullptr) {
    fFailReason = FAIL_UNREADABLE;
    return;
  }
  TakeValueArrays();
  fFailReason = FAIL_NONE;
  NextRecord();
}

KVOProcDataSourceIter::~KVOProcDataSourceIter() { fpAdapter->ClearDSIterator(); }

void KVOProcDataSourceIter::TakeValueArrays() {
  fpValues1 = fRecord1.GetAll();
  fpValues2 = fRecord2.GetAll();
  fbStarted = true;
}

const QorCommon::Record* KVOProcDataSourceIter::Next() {
  if (fFailReason != FAIL_NONE) return nullptr;
  const QorCommon::Record* newest = fbCurrentIsFirst ? &fRecord1 : &fRecord2;
  NextRecord();
  return newest;
}

const QorCommon::Record* KVOProcDataSourceIter::Current() const {
  if (fFailReason != FAIL_NONE) return nullptr;
  return fbCurrentIsFirst ? &fRecord1 : &fRecord2;
}

bool KVOProcDataSourceIter::PreprocessCase() { return true; }

// Reads host cases until one yields a record. The order of the adapter's
// steps is binding: the adapter's case hook sees only cases that passed the
// weight and listwise tests, its record hook a record whose weight, codes,
// values, recodes, free slots and global counter are filled, and the local
// counter is written last, once the case is known to be valid. Nothing here
// allocates; every per-pass constant is taken once per call.
void KVOProcDataSourceIter::NextRecord() {
  double* const r = fbCurrentIsFirst ? fpValues2 : fpValues1;
  fbCurrentIsFirst = !fbCurrentIsFirst;
  if (fFailReason != FAIL_NONE) return;

  KVOInputAdapter& a = *fpAdapter;
  ProcDSIterator* const host = fpProcDSIter;
  const bool splitFile = fbSplitFile;
  const bool strongListWise = a.GetStrongListWise();
  const int weightInd = a.IsWeightVarSet() ? a.GetValidSpecs()->GetWeightVarInd() : -1;
  SplitData* s = a.GetSplitData();

  for (;;) {
    const int n = s != nullptr ? s->fNCases : 0;
    if (host->NextCase() == 0) break;
    if (host->SplitGroupEnd()) {
      if (splitFile) {
        // The group's end mark: the host iterator stays for NewSplit.
        fFailReason = FAIL_NO_RECORD;
        return;
      }
      if (host->NextCase() == 0) break;
    }
    if (n == 0 && splitFile) {
      a.ChangeSplit();
      s = a.GetSplitData();
    }
    if (s == nullptr) {
      // No split group's data: the adapter has no specification.
      fFailReason = FAIL_UNREADABLE;
      return;
    }
    ++s->fNCases;
    const bool score = a.GetScoreIteration();

    bool valid = a.ProcessWeight(r) || score;
    const double w = weightInd >= 0 ? r[weightInd] : 1.0;
    s->fWeightNCases += w;
    if (valid && strongListWise) {
      valid = a.UpdateValidCatVars() && a.UpdateValidContVars() && a.UpdateValidMatrixVars();
    }
    if (valid) valid = PreprocessCase() || score;
    if (valid) valid = a.PreprocessCase() || score;
    if (valid) {
      const bool catOk = a.EncodeCatVars(r);
      const bool contOk = a.GetContVars(r);
      valid = catOk && contOk;
    }
    if (valid) {
      const bool recoded = a.RecodeMatrixSpecs(r) && a.FillFreeVars(r);
      valid = recoded || score;
    }
    if (valid) {
      a.StoreGlobalCount(r);
      if (a.PreprocessRecord(r) || score) {
        ++s->fNValidCases;
        s->fWeightNValidCases += w;
        a.StoreCaseCount(r);
        ++s->fNRecords;
        fFailReason = FAIL_NONE;
        return;
      }
    }
    // A rejected case.
    if (a.FatalError()) {
      fFailReason = FAIL_UNREADABLE;
      return;
    }
    ++s->fNInvalidCases;
    s->fWeightNInvalidCases += w;
  }

  // The end of the data.
  a.ClearDSIterator();
  fpProcDSIter = nullptr;
  fFailReason = FAIL_NO_RECORD;
}

int KVOProcDataSourceIter::NewPass(bool scoreIteration) {
  const SplitData* s = fpAdapter->GetSplitData();
  if ((s != nullptr && s->fNCases != 0) || fbStarted || fpAdapter->GetDSIterator() == nullptr) {
    // A new iterator; also when the data source gave the adapter none at
    // construction.
    fpProcDSIter = fpAdapter->AdjustForDSIterator(scoreIteration);
  } else {
    // The adapter's first iterator is still unused.
    fpAdapter->RefreshForPass();
    fpProcDSIter = fpAdapter->GetDSIterator();
    fpAdapter->SetScoreIteration(scoreIteration);
  }
  if (fpProcDSIter == nullptr) {
    fFailReason = FAIL_UNREADABLE;
    return fFailReason;
  }
  fFailReason = FAIL_NONE;
  if (!fbStarted) TakeValueArrays();
  NextRecord();
  return fFailReason;
}

bool KVOProcDataSourceIter::NewSplit() {
  if (fpProcDSIter != nullptr && fbSplitFile && fFailReason == FAIL_NO_RECORD) {
    fFailReason = FAIL_NONE;
    fpAdapter->AdjustForSplitFile();
    NextRecord();
  }
  return fpProcDSIter != nullptr;
}

int KVOProcDataSourceIter::StopPass() {
  fpAdapter->ClearDSIterator();
  fpProcDSIter = nullptr;
  fpAdapter->SetScoreIteration(false);
  if (fFailReason == FAIL_NONE) fFailReason = FAIL_NO_RECORD;
  return fFailReason;
}

void KVOProcDataSourceIter::SetLastPass() { fpAdapter->SetLastDataPass(); }

bool KVOProcDataSourceIter::GetLastPass() const { return fpAdapter->GetLastDataPass(); }
