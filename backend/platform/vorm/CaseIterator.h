// Case iteration over a host data source. An iterator is used by one thread
// at a time; the data source it came from must outlive it.
#ifndef VORM_CASEITERATOR_H
#define VORM_CASEITERATOR_H

#include <cstdint>

#include "vorm/Dictionary.h"

// Reads the cases of one data pass. The current case lives in a buffer owned
// by the iterator: the address of a variable's cells in that buffer is fixed
// for the iterator's life, and its contents change with every NextCase.
class VORM_InputCaseIterator {
 public:
  virtual ~VORM_InputCaseIterator() = default;
  // Moves to the next case: non-zero for each delivered case (a split-group
  // end mark counts as a case of its own), 0 at the end of the data.
  virtual int NextCase() = 0;
  // The current case's number: its 1-based position in the data source,
  // the same for the same case in every pass.
  virtual int64_t GetCaseNumber() const = 0;
  // The current case's numeric value of a variable.
  virtual const double& GetNumericValue(int index) const = 0;
  // The current case's string bytes of a variable, as wide as its type
  // (blank padded, not NUL terminated).
  virtual const char* GetStringValue(int index) const = 0;
  // The first cell of a variable's value in the current-case buffer, or
  // null for an index out of range. Stable for the iterator's life.
  virtual const OBS* GetValueCells(int index) const = 0;
  virtual const VORM_DataSource& GetDataSource() const = 0;
};

// The procedure framework's iterator: adds split-group marks and weights.
class ProcDSIterator : public VORM_InputCaseIterator {
 public:
  // True exactly for the mark delivered at a split-group boundary.
  virtual bool SplitGroupEnd() const = 0;
  // The current case's weight: 1.0 without a weight variable, the
  // system-missing value when the weight is undefined.
  virtual double Weight() const = 0;
};

// A view of one variable of an iterator's current case. Holds no ownership;
// must not outlive the iterator. An index out of range gives a view of a
// numeric variable that is always system-missing.
class CaseValue {
 public:
  CaseValue(VORM_InputCaseIterator& iterator, unsigned int index);

  // The first cell of the current value (stable for the iterator's life).
  const OBS* Cells() const { return fpCells; }
  const VORM_Variable& Variable() const { return *fpVariable; }
  short Type() const { return fType; }
  // System-missing, or one of the variable's user-missing values.
  bool IsMissing() const;
  // The system-missing value (numeric variables only).
  bool IsNull() const;

 private:
  const OBS* fpCells;
  const VORM_Variable* fpVariable;
  short fType;
};

#endif  // VORM_CASEITERATOR_H
