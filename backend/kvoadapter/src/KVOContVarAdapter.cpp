// The continuous variable adapter: the value of the current case, or the
// system-missing value, and the range of the values delivered.
#include "kvoadapter/KVOContVarAdapter.h"

KVOContVarAdapter::KVOContVarAdapter(ProcDSIterator& iterator, int vormInd, bool userMissingValid)
    : fVarIndex(vormInd),
      fpCaseValueReader(new KVOCaseValueReader(iterator, vormInd, userMissingValid)),
      fMissValue(KVOCaseValueReader::sysmis()),
      fMinValue(fMissValue),
      fMaxValue(fMissValue) {}

// A copy reads through a reader of its own (bound to the same iterator).
KVOContVarAdapter::KVOContVarAdapter(const KVOContVarAdapter& other)
    : fVarIndex(other.fVarIndex),
      fpCaseValueReader(other.fpCaseValueReader ? new KVOCaseValueReader(*other.fpCaseValueReader) : nullptr),
      fMissValue(other.fMissValue),
      fMinValue(other.fMinValue),
      fMaxValue(other.fMaxValue) {}

KVOContVarAdapter& KVOContVarAdapter::operator=(const KVOContVarAdapter& other) {
  if (this == &other) return *this;
  KVOCaseValueReader* reader =
      other.fpCaseValueReader ? new KVOCaseValueReader(*other.fpCaseValueReader) : nullptr;
  delete fpCaseValueReader;
  fpCaseValueReader = reader;
  fVarIndex = other.fVarIndex;
  fMissValue = other.fMissValue;
  fMinValue = other.fMinValue;
  fMaxValue = other.fMaxValue;
  return *this;
}

KVOContVarAdapter::~KVOContVarAdapter() { delete fpCaseValueReader; }

// The range starts at the missing value, which marks "nothing delivered yet".
double KVOContVarAdapter::GetValue() {
  const double value = fpCaseValueReader->UpdateValid() ? fpCaseValueReader->Value().num : fMissValue;
  if (value == fMissValue) return value;
  if (fMinValue == fMissValue || fMinValue > value) fMinValue = value;
  if (fMaxValue == fMissValue || value > fMaxValue) fMaxValue = value;
  return value;
}

double KVOContVarAdapter::GetOldValue() const {
  return fpCaseValueReader->UpdateValid() ? fpCaseValueReader->Value().num : fMissValue;
}

void KVOContVarAdapter::SetCaseValueReader(ProcDSIterator& iterator, bool userMissingValid) {
  delete fpCaseValueReader;
  fpCaseValueReader = new KVOCaseValueReader(iterator, fVarIndex, userMissingValid);
}
