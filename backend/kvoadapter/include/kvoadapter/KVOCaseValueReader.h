// Reads one host variable of a case iterator's current case and judges its
// value: system-missing, user-missing, valid under the reader's rule, and
// compares it with another reader's value. Used by the iterator's thread.
// Borrows the iterator (it must outlive the reader); owns nothing.
#ifndef KVOADAPTER_KVOCASEVALUEREADER_H
#define KVOADAPTER_KVOCASEVALUEREADER_H

#include <vorm/CaseIterator.h>

#include "kvoadapter/KVOExport.h"

class KVO_EXPORT KVOCaseValueReader {
 public:
  // Binds to variable `vormInd` of `iterator`. `userMissValid`: user-missing
  // values count as valid data.
  KVOCaseValueReader(VORM_InputCaseIterator& iterator, int vormInd, bool userMissValid);
  KVOCaseValueReader(const KVOCaseValueReader& other) = default;
  KVOCaseValueReader& operator=(const KVOCaseValueReader& other) = default;
  ~KVOCaseValueReader() = default;

  // The first cell of the current value.
  OBS& Value() const { return const_cast<OBS&>(*fCaseValue.Cells()); }
  const VORM_Variable& Variable() const { return fCaseValue.Variable(); }
  // 0 numeric, otherwise the string width in bytes.
  short Type() const { return fCaseValue.Type(); }

  // The first cell, read as a double, is the system-missing value.
  bool IsSysmis() const { return fCaseValue.Cells()->num == sysmis(); }
  bool IsNull() const { return Type() == 0 && IsSysmis(); }
  bool IsUserMissing() const { return fCaseValue.IsMissing() && !fCaseValue.IsNull(); }

  // The validity rule: without userMissValid, valid exactly when not
  // missing; with it, strings are always valid and numbers unless
  // system-missing.
  bool IsValid() const {
    if (!fbUserMissValid) return !fCaseValue.IsMissing();
    return Type() != 0 || !IsSysmis();
  }
  // Evaluates the rule, stores the answer and returns it.
  bool UpdateValid() { return fbUpdateValid = IsValid(); }
  // The answer of the last UpdateValid.
  bool IsUpdateValid() const { return fbUpdateValid; }

  bool operator==(const KVOCaseValueReader& other) const;
  bool operator<(const KVOCaseValueReader& other) const;
  bool less(const KVOCaseValueReader& other) const { return *this < other; }

  // The system-missing value. Constant-initialised, so it is set before any
  // use on any thread and reading it costs no initialisation check.
  static double sysmis() {
    static constexpr double SYSMIS = VORM_SYSMIS;
    return SYSMIS;
  }

 private:
  CaseValue fCaseValue;
  bool fbUserMissValid;
  bool fbUpdateValid;
};

#endif  // KVOADAPTER_KVOCASEVALUEREADER_H
