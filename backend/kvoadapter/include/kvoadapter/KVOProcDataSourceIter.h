/// \file
/// KVOProcDataSourceIter: the data-pass iterator a component pulls records through.
#ifndef KVOADAPTER_KVOPROCDATASOURCEITER_H
#define KVOADAPTER_KVOPROCDATASOURCEITER_H

#include <qor/Record.h>

#include "kvoadapter/KVOExport.h"
#include "kvoadapter/KVOInputAdapter.h"

/// The record iterator a modeling component pulls host cases through: each
/// record is one usable case, filled by the input adapter's per-case steps in
/// a fixed order; reads one record ahead; knows the end of the data, the end
/// of a split group and fatal host errors; starts new passes and split groups.
/// One thread at a time. Borrows the adapter (which owns the host iterator);
/// owns its two records.
///
/// Fail reasons (GetFailReason, NewPass): 0 a record is ready; 1 the pass
/// or the current split group has no further record; 3 the host could not
/// read: no case iterator, or a fatal host error during the pass.
class KVO_EXPORT KVOProcDataSourceIter : public QorCommon::MultiPassRecordIter {
 public:
  /// With `start` the pass begins at once and the first record is read.
  KVOProcDataSourceIter(KVOInputAdapter& adapter, bool start);
  /// The records' value arrays are bound once; copying is refused.
  KVOProcDataSourceIter(const KVOProcDataSourceIter&) = delete;
  /// Not copyable, as the copy constructor says.
  KVOProcDataSourceIter& operator=(const KVOProcDataSourceIter&) = delete;
  /// Deletes the pass's host iterator through the adapter.
  ~KVOProcDataSourceIter() override;

  /// Whether a record is ready (fail reason 0).
  bool HasMore() const override { return fFailReason == 0; }
  /// The next record, or null at the end of the pass or of a split group
  /// (GetFailReason says which). The record read ahead; it stays unchanged
  /// until the next read.
  const QorCommon::Record* Next() override;
  /// 0, 1 or 3, as the class description says.
  int GetFailReason() const override { return fFailReason; }
  /// Starts a procedure pass: NewPass(false).
  int NewPass() override { return NewPass(false); }

  /// The record the next Next() returns, or null.
  const QorCommon::Record* Current() const;
  /// Starts the next pass (a score pass with `scoreIteration`) at the
  /// first split group and reads its first record; returns the fail reason.
  /// Refused (3, with an assertion report) once the last pass was declared.
  int NewPass(bool scoreIteration);
  /// Moves to the next split group after one ended; false when none is left.
  bool NewSplit();
  /// Ends the pass early; returns the fail reason.
  int StopPass();
  /// Declares the current pass the last (KVOInputAdapter::SetLastDataPass).
  void SetLastPass();
  /// Whether the last pass was declared.
  bool GetLastPass() const;
  /// The host iterator of the pass, standing on the case of the record
  /// read ahead; null once the pass ended.
  ProcDSIterator* GetProcDS() const { return fpProcDSIter; }
  /// Whether split groups are read one by one (taken from the adapter at
  /// construction).
  bool GetSplitFile() const { return fbSplitFile; }

 protected:
  /// A per-case hook for derived iterators, after the weight and listwise tests.
  virtual bool PreprocessCase();
  /// Reads host cases until one gives a record (into the buffer not
  /// handed out last) or the pass or group ends.
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
