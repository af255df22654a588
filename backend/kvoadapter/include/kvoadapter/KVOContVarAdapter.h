/// \file
/// KVOContVarAdapter: the values and range of one continuous variable.
#ifndef KVOADAPTER_KVOCONTVARADAPTER_H
#define KVOADAPTER_KVOCONTVARADAPTER_H

#include <vorm/ProcedureDataSource.h>

#include "kvoadapter/KVOCaseValueReader.h"
#include "kvoadapter/KVOExport.h"

/// Turns one continuous variable of the current case into the double of the
/// record and keeps the range of the values it delivered. Used by the data
/// pass's thread. Owns its case value reader; borrows the iterator.
class KVO_EXPORT KVOContVarAdapter {
 public:
  /// An adapter of host variable `vormInd` that reads it through `iterator`,
  /// with no range yet. `userMissingValid`: user-missing values count as valid data.
  KVOContVarAdapter(ProcDSIterator& iterator, int vormInd, bool userMissingValid);
  /// A copy gets a reader of its own, bound to the same iterator.
  KVOContVarAdapter(const KVOContVarAdapter& other) = default;
  /// As the copy constructor.
  KVOContVarAdapter& operator=(const KVOContVarAdapter& other) = default;
  virtual ~KVOContVarAdapter() = default;

  /// Collecting read: the value or the missing value; widens the range.
  virtual double GetValue();
  /// Replaying read: the same value; never changes the range.
  virtual double GetOldValue() const;

  /// Whether the current case's value is valid (KVOCaseValueReader::UpdateValid).
  bool UpdateValid() { return fCaseValueReader.UpdateValid(); }
  /// Rebinds to a new iterator; the range stays.
  void SetCaseValueReader(ProcDSIterator& iterator, bool userMissingValid);
  /// The system-missing value until a valid value was delivered.
  double GetMinValue() const { return fMinValue; }
  /// The largest value delivered; the system-missing value until one was.
  double GetMaxValue() const { return fMaxValue; }
  /// The host variable.
  int GetVarIndex() const { return fVarIndex; }

 private:
  int fVarIndex;
  /// Mutable: the replaying read is const but stores the reader's verdict.
  mutable KVOCaseValueReader fCaseValueReader;
  double fMissValue;
  double fMinValue;
  double fMaxValue;
};

#endif  // KVOADAPTER_KVOCONTVARADAPTER_H
