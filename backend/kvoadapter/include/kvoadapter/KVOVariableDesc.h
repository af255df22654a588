/// \file
/// KVOVariableDesc: the treatment of one record slot.
#ifndef KVOADAPTER_KVOVARIABLEDESC_H
#define KVOADAPTER_KVOVARIABLEDESC_H

#include "kvoadapter/KVOExport.h"

class ProcedureDataSource;

/// The treatment of one record slot: its host variable, record index,
/// categorical flag and missing-value rules. A plain value type; one thread
/// at a time.
class KVO_EXPORT KVOVariableDesc {
 public:
  /// The default descriptor (-1, true, true, true, true), record index -1.
  KVOVariableDesc();
  /// A descriptor of host variable `vormInd` with the flags of
  /// KVOVarValidSpecs::AddVariable; record index -1 until the layout sets it.
  KVOVariableDesc(int vormInd, bool catVar, bool procSysMiss, bool exclUserMiss, bool scoreSysMiss);
  /// A plain copy.
  KVOVariableDesc(const KVOVariableDesc& other) = default;
  /// A plain copy.
  KVOVariableDesc& operator=(const KVOVariableDesc& other) = default;
  /// Nothing to free.
  ~KVOVariableDesc() = default;

  int GetVORMVarIndex() const { return fVormVarIndex; }           ///< The host variable; -1 for none.
  void SetVORMVarIndex(int vormInd) { fVormVarIndex = vormInd; }  ///< Sets the host variable.
  int GetRecVarIndex() const { return fRecVarIndex; }           ///< The record slot; -1 before one is given.
  void SetRecVarIndex(int recInd) { fRecVarIndex = recInd; }    ///< Sets the record slot.
  bool GetCatVar() const { return fbCatVar; }                   ///< Whether the slot is categorical.
  void SetCatVar(bool catVar) { fbCatVar = catVar; }            ///< Sets the categorical flag.
  bool GetProcSysMiss() const { return fbProcSysMiss; }         ///< Missing values kept in procedure passes.
  void SetProcSysMiss(bool value) { fbProcSysMiss = value; }    ///< Sets GetProcSysMiss.
  bool GetExclUserMiss() const { return fbExclUserMiss; }       ///< User-missing values count as missing.
  void SetExclUserMiss(bool value) { fbExclUserMiss = value; }  ///< Sets GetExclUserMiss.
  bool GetScoreSysMiss() const { return fbScoreSysMiss; }       ///< Missing values kept in score passes.
  void SetScoreSysMiss(bool value) { fbScoreSysMiss = value; }  ///< Sets GetScoreSysMiss.

  /// Asks the host whether the variable is categorical, without storing it.
  bool GetCatVar(const ProcedureDataSource& dataSource) const;
  /// Asks the host and stores the answer.
  bool SetCatVar(const ProcedureDataSource& dataSource);

  /// Diagnostic dump.
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
