// The specification list: the layout of the record a modeling component
// receives (which host variable, matrix recode, free variable, weight or
// case counter sits in which slot) and each slot's missing-value treatment.
// Built by one host procedure thread, then read by the input adapter. Owns
// its descriptors and matrix specifications (which borrow the procedure's
// maps and lists).
#ifndef KVOADAPTER_KVOVARVALIDSPECS_H
#define KVOADAPTER_KVOVARVALIDSPECS_H

#include <vorm/Dictionary.h>
#include <vorm/ObsVecMap.h>

#include <string>
#include <vector>

#include "kvoadapter/KVOExport.h"
#include "kvoadapter/KVOMatrixSpecs.h"
#include "kvoadapter/KVOVariableDesc.h"

class KVO_EXPORT KVOVarValidSpecs {
 public:
  // Default flags for variables added without explicit ones. Determines the
  // host's decimal character.
  KVOVarValidSpecs(bool procSysMiss = true, bool exclUserMiss = true, bool scoreSysMiss = true);
  KVOVarValidSpecs(const KVOVarValidSpecs& other) = default;
  KVOVarValidSpecs& operator=(const KVOVarValidSpecs& other) = default;
  virtual ~KVOVarValidSpecs();

  // Switches; set them before adding variables.
  void SetStrongListWise(bool on) { fbStrongListWise = on; }
  bool GetStrongListWise() const { return fbStrongListWise; }
  void SetMultRecode(bool on) { fbMultRecode = on; }
  bool GetMultRecode() const { return fbMultRecode; }

  // --- Adding slots: each returns the record index of the slot ---------------
  int AddVariable(int vormInd, bool catVar, bool procSysMiss, bool exclUserMiss, bool scoreSysMiss);
  int AddVariable(int vormInd, bool catVar);
  // `recInds` is cleared and receives one record index per variable.
  // REQUIRES: catVarFlags.size() == vormInds.size().
  int AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds,
                   const std::vector<bool>& catVarFlags, bool procSysMiss, bool exclUserMiss,
                   bool scoreSysMiss);
  int AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds,
                   const std::vector<bool>& catVarFlags);
  int AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds, bool catVar, bool procSysMiss,
                   bool exclUserMiss, bool scoreSysMiss);
  int AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds, bool catVar);
  // The pointers are borrowed: the procedure keeps the list, the map and the
  // formats alive as long as this specification and its adapters.
  int AddMatrixSpec(const std::vector<int>* varInds, const ObsVecMap* valueMap,
                    const std::vector<VORM_Format>* formats, int groupIndex, bool exclUserMiss);
  // A slot no host variable feeds: continuous when `contVar`, else categorical.
  int AddFreeVariable(bool contVar);
  // Create the slot once; a second call returns the existing index.
  int SetWeightVar();
  int SetCaseCount();
  int SetGlobalCount();

  // --- Queries by record index ------------------------------------------------
  int GetVORMVarIndex(int recInd) const;                      // -1 out of range
  const KVOVariableDesc* GetRecVarDescPtr(int recInd) const;  // null out of range
  bool GetRecordCatVar(int recInd) const;                     // true out of range

  // --- Queries by host variable index -------------------------------------------
  int GetRecVarIndex(int vormInd) const;  // -1 out of range or not in the record
  const KVOVariableDesc* GetVORMVarDescPtr(int vormInd) const;
  bool GetVORMCatVar(int vormInd) const;

  // --- Queries by matrix number -------------------------------------------------
  const KVOMatrixSpecs* GetMatrixSpecsPtr(int matrixNum) const;
  int GetRecMatrixInd(int matrixNum) const;
  int GetMatSpecGroupNum(int matrixNum) const;
  int GetNMatrices() const { return static_cast<int>(fvMatrixSpecs.size()); }

  // --- Lists ----------------------------------------------------------------
  const std::vector<int>& GetRecordIndices() const { return fvRecordIndices; }
  const std::vector<int>& GetVORMIndices() const { return fvVormIndices; }
  const std::vector<int>& GetRecCatVars() const { return fvRecCatVars; }
  const std::vector<int>& GetRecContVars() const { return fvRecContVars; }
  const std::vector<int>& GetCatVarsX() const { return fvCatVarsX; }
  const std::vector<int>& GetContVarsX() const { return fvContVarsX; }
  const std::vector<int>& GetFreeIndices() const { return fvFreeIndices; }

  // The record size: the number of descriptors.
  int GetNRecordVars() const { return static_cast<int>(fvVarDescs.size()); }
  int GetWeightVarInd() const { return fWeightVarInd; }
  int GetCaseCountInd() const { return fCaseCountInd; }
  int GetGlobalCountInd() const { return fGlobalCountInd; }
  int GetLastIndex() const { return fLastIndex; }
  char GetDecimalCharacter() const { return fDecimalChar; }

  // --- Text -------------------------------------------------------------------
  // A value as text with the host's formatting: a number at width 40 with
  // its format's type and decimals, trimmed at both ends; a string at its
  // format's width, losing its trailing blanks when `trim`, else the whole
  // buffer (NUL bytes included). "" for a null value or a format the host
  // refuses.
  // REQUIRES: `value` holds the bytes a string format reads (the width for
  // A, half of it for AHEX); the form below makes sure of it.
  std::string ConvertObsToString(const OBS* value, const VORM_Format& format, bool trim) const;
  // The same for a value of `variable` with its print format, narrowed so
  // that no more bytes are read than the value holds: A to at most the
  // variable's width, AHEX to at most twice it (a number is one 8-byte
  // cell). "" for a null value or a format the host refuses.
  std::string ConvertObsToString(const OBS* value, const VORM_Variable& variable, bool trim) const;
  // A copy of `text` whose first '.' is replaced by the decimal character.
  std::string AdjustDecimalCharacter(const std::string& text) const;

  // Diagnostic dumps.
  void Display() const;
  void DisplayVarNames(const VORM_DataSource& dataSource) const;

 protected:
  int AddToVarList(KVOVariableDesc& desc, int newIndex, bool catVar);
  int AddToMatrixList(int specNum, int newIndex);
  void SetDecimalCharacter();

 private:
  // Appends a continuous (-1, false, true, true, true) slot at the end.
  int AddSpecialSlot();

  std::vector<int> fvRecordIndices;
  std::vector<KVOVariableDesc> fvVarDescs;
  std::vector<int> fvRecCatVars;
  std::vector<int> fvRecContVars;
  std::vector<KVOMatrixSpecs> fvMatrixSpecs;
  std::vector<int> fvFreeIndices;
  std::vector<int> fvCatVarsX;
  std::vector<int> fvContVarsX;
  std::vector<int> fvVormIndices;
  bool fbProcSysMiss;
  bool fbExclUserMiss;
  bool fbScoreSysMiss;
  bool fbStrongListWise;
  bool fbMultRecode;
  int fLastIndex;
  int fNRecordVars;
  int fWeightVarInd;
  int fCaseCountInd;
  int fGlobalCountInd;
  char fDecimalChar;
};

#endif  // KVOADAPTER_KVOVARVALIDSPECS_H
