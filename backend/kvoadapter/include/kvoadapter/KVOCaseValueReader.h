/// \file
/// KVOCaseValueReader: one host variable of the current case, judged.
#ifndef KVOADAPTER_KVOCASEVALUEREADER_H
#define KVOADAPTER_KVOCASEVALUEREADER_H

#include <vorm/CaseIterator.h>

#include "kvoadapter/KVOExport.h"

/// Reads one host variable of a case iterator's current case and judges its
/// value: system-missing, user-missing, valid under the reader's rule, and
/// compares it with another reader's value. Used by the iterator's thread.
/// Borrows the iterator (it must outlive the reader); owns nothing.
///
/// A reader takes its variable's user-missing values once, when it is made
/// (adapters make their readers anew at the start of every pass): numeric
/// values are then judged without a call to the host, string values with at
/// most one.
class KVO_EXPORT KVOCaseValueReader {
 public:
  /// Binds to variable `vormInd` of `iterator` and reads the variable's
  /// user-missing values. `userMissValid`: user-missing values count as
  /// valid data. An index the iterator does not know gives a numeric value
  /// that is always system-missing.
  KVOCaseValueReader(VORM_InputCaseIterator& iterator, int vormInd, bool userMissValid);
  /// A reader of the same variable and iterator, with the same rule.
  KVOCaseValueReader(const KVOCaseValueReader& other) = default;
  /// As the copy constructor.
  KVOCaseValueReader& operator=(const KVOCaseValueReader& other) = default;
  /// Nothing to free.
  ~KVOCaseValueReader() = default;

  /// The first cell of the current value.
  OBS& Value() const { return const_cast<OBS&>(*fCaseValue.Cells()); }
  /// The host variable.
  const VORM_Variable& Variable() const { return fCaseValue.Variable(); }
  /// 0 numeric, otherwise the string width in bytes.
  short Type() const { return fCaseValue.Type(); }

  /// The first cell, read as a double, is the system-missing value.
  bool IsSysmis() const { return fCaseValue.Cells()->num == sysmis(); }
  /// A numeric variable whose value is system-missing.
  bool IsNull() const { return Type() == 0 && IsSysmis(); }
  /// One of the variable's user-missing values (whatever the reader's rule).
  bool IsUserMissing() const { return IsMissing() && !IsNull(); }

  /// The validity rule: without userMissValid, valid exactly when not
  /// missing; with it, strings are always valid and numbers unless
  /// system-missing.
  bool IsValid() const {
    if (!fbUserMissValid) return !IsMissing();
    return Type() != 0 || !IsSysmis();
  }
  /// Evaluates the rule, stores the answer and returns it.
  bool UpdateValid() { return fbUpdateValid = IsValid(); }
  /// The answer of the last UpdateValid.
  bool IsUpdateValid() const { return fbUpdateValid; }

  /// The two current values are equal: numbers by value, strings of the
  /// same width byte by byte. A number never equals a string.
  bool operator==(const KVOCaseValueReader& other) const;
  /// Numbers in IEEE order; strings byte by byte (unsigned) over the shorter
  /// width, the shorter first when that part is equal. A number and a string
  /// are not ordered (false both ways).
  bool operator<(const KVOCaseValueReader& other) const;
  /// The same as operator<.
  bool less(const KVOCaseValueReader& other) const { return *this < other; }

  /// The system-missing value. Constant-initialised, so it is set before any
  /// use on any thread and reading it costs no initialisation check.
  static double sysmis() {
    static constexpr double SYSMIS = VORM_SYSMIS;
    return SYSMIS;
  }

 private:
  /// How IsMissing judges the current value, chosen from the variable's
  /// declaration when the reader is made.
  enum MissingTest : unsigned char {
    ONE_NUMBER,  // system-missing or fMissing[0] (system-missing again when none is declared)
    NUMBERS,     // system-missing, one of fMissing, or within [fMissingLow, fMissingHigh]
    NEVER,       // a string without user-missing values
    ASK_HOST     // strings with user-missing values, and declarations of unknown form
  };

  /// System-missing, or one of the variable's user-missing values: the
  /// host's CaseValue::IsMissing, answered from the values read at
  /// construction where they are numbers.
  bool IsMissing() const {
    if (fMissingTest == ONE_NUMBER) {
      const double v = fCaseValue.Cells()->num;
      return v == sysmis() || v == fMissing[0];
    }
    return IsMissingOtherwise();
  }
  bool IsMissingOtherwise() const {
    if (fMissingTest == NUMBERS) {
      const double v = fCaseValue.Cells()->num;
      return v == sysmis() || v == fMissing[0] || v == fMissing[1] || v == fMissing[2] ||
             (fMissingLow <= v && v <= fMissingHigh);
    }
    return fMissingTest == ASK_HOST && fCaseValue.IsMissing();
  }
  /// Reads the variable's user-missing values into the members below.
  void TakeMissingValues();

  CaseValue fCaseValue;
  bool fbUserMissValid;
  bool fbUpdateValid;
  MissingTest fMissingTest;
  /// Unused places hold NaN, which equals nothing and bounds no range.
  double fMissing[3];
  double fMissingLow;
  double fMissingHigh;
};

#endif  // KVOADAPTER_KVOCASEVALUEREADER_H
