// The continuous variable adapter: the value of the current case, or the
// system-missing value, and the range of the values delivered.
#include "kvoadapter/KVOContVarAdapter.h"

KVOContVarAdapter::KVOContVarAdapter(ProcDSIterator& iterator, int vormInd, bool userMissingValid)
    : fVarIndex(vormInd),
      fCaseValueReader(iterator, vormInd, userMissingValid),
      fMissValue(KVOCaseValueReader::sysmis()),
      fMinValue(fMissValue),
      fMaxValue(fMissValue) {}

// The range starts at the missing value, which marks "nothing delivered yet".
double KVOContVarAdapter::GetValue() {
  const double value = fCaseValueReader.UpdateValid() ? fCaseValueReader.Value().num : fMissValue;
  if (value == fMissValue) return value;
  if (fMinValue == fMissValue || fMinValue > value) fMinValue = value;
  if (fMaxValue == fMissValue || value > fMaxValue) fMaxValue = value;
  return value;
}

double KVOContVarAdapter::GetOldValue() const {
  return fCaseValueReader.UpdateValid() ? fCaseValueReader.Value().num : fMissValue;
}

void KVOContVarAdapter::SetCaseValueReader(ProcDSIterator& iterator, bool userMissingValid) {
  fCaseValueReader = KVOCaseValueReader(iterator, fVarIndex, userMissingValid);
}
