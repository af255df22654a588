// The host dictionary: variables with their names, labels, types, formats,
// value labels and user-missing values, and the data source that holds them.
// Read-only during procedures; any number of threads may read.
#ifndef VORM_DICTIONARY_H
#define VORM_DICTIONARY_H

#include "vorm/Types.h"

// The value labels of one variable.
class VORM_ValueLabels {
 public:
  virtual ~VORM_ValueLabels() = default;
  // The label of the value starting at `value` (cells as wide as the
  // variable's type), or null when the value has none.
  virtual const char* Find(const OBS* value) const = 0;
};

// A lookup view over a variable's value labels. Borrows the labels.
class VORM_ValueLabelMap {
 public:
  explicit VORM_ValueLabelMap(const VORM_ValueLabels& labels) : fpLabels(&labels) {}
  // The label of one value, or null when the value has none.
  const char* GetLabel(const OBS* value) const { return value ? fpLabels->Find(value) : nullptr; }

 private:
  const VORM_ValueLabels* fpLabels;
};

// Codes returned by VORM_Variable::GetMissingValues.
inline constexpr int VORM_MISSING_NONE = 0;            // no user-missing values
inline constexpr int VORM_MISSING_RANGE = -2;          // m1 = low, m2 = high
inline constexpr int VORM_MISSING_RANGE_AND_ONE = -3;  // m1 = low, m2 = high, m3 = value
// A count n of 1 to 3 means n discrete values m1 .. mn.

class VORM_Variable {
 public:
  virtual ~VORM_Variable() = default;
  virtual const char* GetName() const = 0;
  // The variable label, or null when there is none.
  virtual const char* GetLabel() const = 0;
  // 0 for numeric, otherwise the string width in bytes (1 .. 32767).
  virtual short GetType() const = 0;
  virtual VORM_Format GetFormat() const = 0;
  virtual const VORM_ValueLabels& GetValueLabels() const = 0;
  // The declared user-missing values: returns 0 (none), a count of 1 to 3
  // discrete values, -2 (a range m1..m2) or -3 (a range m1..m2 plus the
  // value m3). Unused pointers are set to null. The cells stay valid for the
  // variable's life.
  virtual int GetMissingValues(const OBS*& m1, const OBS*& m2, const OBS*& m3) const = 0;
  // True when the value starting at `value` is one of the variable's
  // user-missing values (never for the system-missing value).
  virtual bool IsUserMissingValue(const OBS* value) const = 0;
};

class VORM_DataSource {
 public:
  virtual ~VORM_DataSource() = default;
  virtual int GetNumVariables() const = 0;
  // The variable at a host index, or null when the index is out of range.
  virtual const VORM_Variable* GetVariable(int index) const = 0;
  // The host index of a name (matched without regard to letter case), or a
  // negative number when there is no such variable. `flags` is reserved: 0.
  virtual int FindVarIndex(const char* name, int flags) const = 0;
  // The weight variable's host index, negative when the data are unweighted.
  virtual int GetWeightVarIndex() const = 0;
  // Whether the host judges a variable categorical (nominal or ordinal).
  virtual bool IsCategorical(int index) const = 0;
};

// Whether the host judges the variable at `index` categorical; false for an
// index out of range.
inline bool IsCatVar(int index, const VORM_DataSource& dataSource) { return dataSource.IsCategorical(index); }

#endif  // VORM_DICTIONARY_H
