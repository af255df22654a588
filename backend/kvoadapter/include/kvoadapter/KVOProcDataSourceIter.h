// The record iterator a modeling component pulls host cases through: each
// record is one usable case, filled by the input adapter's per-case steps in
// a fixed order; reads one record ahead; knows the end of the data, the end
// of a split group and fatal host errors; starts new passes and split groups.
// One thread at a time. Borrows the adapter (which owns the host iterator);
// owns its two records.
#ifndef KVOADAPTER_KVOPROCDATASOURCEITER_H
#define KVOADAPTER_KVOPROCDATASOURCEITER_H

#include <qor/Record.h>

#include "kvoadapter/KVOExport.h"
#include "kvoadapter/KVOInputAdapter.h"

class KVO_EXPORT KVOProcDataSourceIter : public QorCommon::MultiPassRecordIter {
 public:
  // With `start` the pass begins at once and the first record is read.
  KVOProcDataSourceIter(KVOInputAdapter& adapter, bool start);
  // The records' value arrays are bound once; copying is refused.
  KVOProcDataSourceIter(const KVOProcDataSourceIter&) = delete;
  KVOProcDataSourceIter& operator=(const KVOProcDataSourceIter&) = delete;
  // Deletes the pass's host iterator through the adapter.
  ~KVOProcDataSourceIter() override;

  bool HasMore() const override { return fFailReason == 0; }
  // The look-ahead record; it stays unchanged until the next read.
  const QorCommon::Record* Next() override;
  int GetFailReason() const override { return fFailReason; }
  int NewPass() override { return NewPass(false); }

  // The record the next Next() returns, or null.
  const QorCommon::Record* Current() const;
  int NewPass(bool scoreIteration);
  // Moves to the next split group after one ended; false when none is left.
  bool NewSplit();
  // Ends the pass early; returns the fail reason.
  int StopPass();
  void SetLastPass();
  bool GetLastPass() const;
  ProcDSIterator* GetProcDS() const { return fpProcDSIter; }
  bool GetSplitFile() const { return fbSplitFile; }

 protected:
  // A per-case hook for derived iterators, after the weight and listwise tests.
  virtual bool PreprocessCase();
  void NextRecord();

 private:
  void TakeValueArrays();

  ProcDSIterator* fpProcDSIter;
  bool fbStarted;
  QorCommon::Record fRecord1;
  QorCommon::Record fRecord2;
  double* fpValues1;
  double* fpValues2;
  bool fbCurrentIsFirst;
  KVOInputAdapter* fpAdapter;
  bool fbSplitFile;
  int fFailReason;
};

#endif  // KVOADAPTER_KVOPROCDATASOURCEITER_H
