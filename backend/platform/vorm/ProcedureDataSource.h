// The procedure framework's view of the active data set: case iterators,
// split-file settings, the weight filter and the pass bookkeeping. Used by
// the procedure's thread.
#ifndef VORM_PROCEDUREDATASOURCE_H
#define VORM_PROCEDUREDATASOURCE_H

#include "vorm/CaseIterator.h"

class ProcedureDataSource : public VORM_DataSource {
 public:
  // A new iterator over the procedure's cases (`flags` is 0), a
  // VORM_InputCaseIterator that is also a ProcDSIterator. The caller owns
  // the result and deletes it. Null when no pass can be started.
  virtual VORM_InputCaseIterator* NewCaseIterator(int flags) = 0;

  // Split files: the number of split variables (0 = none) and their host
  // indices. The data are sorted by them.
  virtual int GetNumSplitVars() const = 0;
  virtual int GetSplitVarIndex(int i) const = 0;
  // The host's choice between the two split flags of a procedure: true
  // selects the flag for an explicitly requested split.
  virtual bool IsSplitRequested() const = 0;

  // When on, iterators skip cases whose weight is system-missing, zero or
  // negative.
  virtual bool GetWeightFilter() const = 0;
  virtual void SetWeightFilter(bool on) = 0;

  virtual bool IsLastPass() const = 0;
  virtual void SetLastPass() = 0;

  // True once the host has met an error that ends the procedure.
  virtual bool FatalError() const = 0;
};

#endif  // VORM_PROCEDUREDATASOURCE_H
