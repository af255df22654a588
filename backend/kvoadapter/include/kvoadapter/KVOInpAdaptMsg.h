// Issues the user-facing messages of case input through the host's
// procedure output. Used by the procedure's thread. Borrows the data source.
#ifndef KVOADAPTER_KVOINPADAPTMSG_H
#define KVOADAPTER_KVOINPADAPTMSG_H

#include <vorm/ProcedureDataSource.h>

#include <vector>

#include "kvoadapter/KVOExport.h"

class KVO_EXPORT KVOInpAdaptMsg {
 public:
  explicit KVOInpAdaptMsg(ProcedureDataSource& dataSource) : fpDataSource(&dataSource) {}
  KVOInpAdaptMsg(const KVOInpAdaptMsg&) = default;
  KVOInpAdaptMsg& operator=(const KVOInpAdaptMsg&) = default;
  ~KVOInpAdaptMsg() = default;

  // The current case's combination of the listed variables has no
  // specification in matrix group `groupIndex`.
  void MatrixSpecNotFound(int groupIndex, const std::vector<int>* varList, ProcDSIterator& iterator) const;
  void NoValidCases() const;
  void NoValidCasesForSelect() const;
  // No valid cases in the current split group.
  void NoValidCasesSplit() const;

 private:
  ProcedureDataSource* fpDataSource;
};

#endif  // KVOADAPTER_KVOINPADAPTMSG_H
