// The treatment of one record slot: its host variable, record index,
// categorical flag and missing-value rules. A plain value type; one thread
// at a time.
#ifndef KVOADAPTER_KVOVARIABLEDESC_H
#define KVOADAPTER_KVOVARIABLEDESC_H

#include "kvoadapter/KVOExport.h"

class ProcedureDataSource;

class KVO_EXPORT KVOVariableDesc {
 public:
  // The default descriptor (-1, true, true, true, true), record index -1.
  KVOVariableDesc();
  KVOVariableDesc(int vormInd, bool catVar, bool procSysMiss, bool exclUserMiss, bool scoreSysMiss);
  KVOVariableDesc(const KVOVariableDesc& other) = default;
  KVOVariableDesc& operator=(const KVOVariableDesc& other) = default;
  ~KVOVariableDesc() = default;

  int GetVORMVarIndex() const { return fVormVarIndex; }
  void SetVORMVarIndex(int vormInd) { fVormVarIndex = vormInd; }
  int GetRecVarIndex() const { return fRecVarIndex; }
  void SetRecVarIndex(int recInd) { fRecVarIndex = recInd; }
  bool GetCatVar() const { return fbCatVar; }
  void SetCatVar(bool catVar) { fbCatVar = catVar; }
  bool GetProcSysMiss() const { return fbProcSysMiss; }
  void SetProcSysMiss(bool value) { fbProcSysMiss = value; }
  bool GetExclUserMiss() const { return fbExclUserMiss; }
  void SetExclUserMiss(bool value) { fbExclUserMiss = value; }
  bool GetScoreSysMiss() const { return fbScoreSysMiss; }
  void SetScoreSysMiss(bool value) { fbScoreSysMiss = value; }

  // Asks the host whether the variable is categorical, without storing it.
  bool GetCatVar(const ProcedureDataSource& dataSource) const;
  // Asks the host and stores the answer.
  bool SetCatVar(const ProcedureDataSource& dataSource);

  // Diagnostic dump.
  void Display() const;

 private:
  int fVormVarIndex;
  int fRecVarIndex;
  bool fbCatVar;
  bool fbProcSysMiss;
  bool fbExclUserMiss;
  bool fbScoreSysMiss;
};

#endif  // KVOADAPTER_KVOVARIABLEDESC_H
