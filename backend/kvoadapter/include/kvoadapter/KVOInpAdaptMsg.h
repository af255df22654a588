/// \file
/// KVOInpAdaptMsg: the user-facing messages of case input.
#ifndef KVOADAPTER_KVOINPADAPTMSG_H
#define KVOADAPTER_KVOINPADAPTMSG_H

#include <vorm/ProcedureDataSource.h>

#include <vector>

#include "kvoadapter/KVOExport.h"

/// Issues the user-facing messages of case input through the host's
/// procedure output. Used by the procedure's thread. Borrows the data source.
class KVO_EXPORT KVOInpAdaptMsg {
 public:
  /// Messages about the cases of `dataSource` (borrowed).
  explicit KVOInpAdaptMsg(ProcedureDataSource& dataSource) : fpDataSource(&dataSource) {}
  /// A copy that issues to the same data source.
  KVOInpAdaptMsg(const KVOInpAdaptMsg&) = default;
  /// As the copy constructor.
  KVOInpAdaptMsg& operator=(const KVOInpAdaptMsg&) = default;
  ~KVOInpAdaptMsg() = default;

  /// The current case's combination of the listed variables has no
  /// specification in matrix group `groupIndex`.
  void MatrixSpecNotFound(int groupIndex, const std::vector<int>* varList, ProcDSIterator& iterator) const;
  /// No case of the data gave a record.
  void NoValidCases() const;
  /// No case of the selected ones gave a record.
  void NoValidCasesForSelect() const;
  /// No valid cases in the current split group.
  void NoValidCasesSplit() const;

 private:
  ProcedureDataSource* fpDataSource;
};

#endif  // KVOADAPTER_KVOINPADAPTMSG_H
