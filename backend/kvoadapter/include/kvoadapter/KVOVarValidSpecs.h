/// \file
/// KVOVarValidSpecs: the record layout and each slot's missing-value rules.
#ifndef KVOADAPTER_KVOVARVALIDSPECS_H
#define KVOADAPTER_KVOVARVALIDSPECS_H

#include <vorm/Dictionary.h>
#include <vorm/ObsVecMap.h>

#include <string>
#include <vector>

#include "kvoadapter/KVOExport.h"
#include "kvoadapter/KVOMatrixSpecs.h"
#include "kvoadapter/KVOVariableDesc.h"

/// The specification list: the layout of the record a modeling component
/// receives (which host variable, matrix recode, free variable, weight or
/// case counter sits in which slot) and each slot's missing-value treatment.
/// Built by one host procedure thread, then read by the input adapter. Owns
/// its descriptors and matrix specifications (which borrow the procedure's
/// maps and lists).
class KVO_EXPORT KVOVarValidSpecs {
 public:
  /// Default flags for variables added without explicit ones. Determines the
  /// host's decimal character.
  /// @param procSysMiss  a missing value is kept (code -1, or the
  ///                     system-missing value) in procedure passes; false:
  ///                     it deletes the case
  /// @param exclUserMiss user-missing values count as missing; false: as data
  /// @param scoreSysMiss the same as `procSysMiss` for score passes
  KVOVarValidSpecs(bool procSysMiss = true, bool exclUserMiss = true, bool scoreSysMiss = true);
  /// A copy that points at the same matrix variable lists, maps and formats.
  KVOVarValidSpecs(const KVOVarValidSpecs& other) = default;
  /// As the copy constructor.
  KVOVarValidSpecs& operator=(const KVOVarValidSpecs& other) = default;
  /// Frees the descriptors; the matrix maps stay the procedure's.
  virtual ~KVOVarValidSpecs();

  /// Strong listwise deletion: a case is judged on all its values before
  /// any is encoded, so a deleted case gives no category and no range. Set
  /// it before adding variables.
  void SetStrongListWise(bool on) { fbStrongListWise = on; }
  /// Whether strong listwise deletion is on.
  bool GetStrongListWise() const { return fbStrongListWise; }
  /// Multiple recoding: a host variable added again gets a slot of its own
  /// instead of taking over its first slot. Set it before adding variables.
  void SetMultRecode(bool on) { fbMultRecode = on; }
  /// Whether multiple recoding is on.
  bool GetMultRecode() const { return fbMultRecode; }

  // --- Adding slots: each returns the record index of the slot ---------------
  /// Adds a host variable as a categorical or continuous slot with its own
  /// missing-value flags (see the constructor). A variable that has a slot
  /// already keeps it, with the new flags (unless multiple recoding is on).
  int AddVariable(int vormInd, bool catVar, bool procSysMiss, bool exclUserMiss, bool scoreSysMiss);
  /// The same with the default flags.
  int AddVariable(int vormInd, bool catVar);
  /// `recInds` is cleared and receives one record index per variable.
  /// REQUIRES: catVarFlags.size() == vormInds.size().
  int AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds,
                   const std::vector<bool>& catVarFlags, bool procSysMiss, bool exclUserMiss,
                   bool scoreSysMiss);
  /// The same with the default flags.
  int AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds,
                   const std::vector<bool>& catVarFlags);
  /// Adds every listed variable as categorical (`catVar`) or continuous;
  /// `recInds` as above.
  int AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds, bool catVar, bool procSysMiss,
                   bool exclUserMiss, bool scoreSysMiss);
  /// The same with the default flags.
  int AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds, bool catVar);
  /// A matrix slot: the values of the categorical host variables `varInds`
  /// (one format each) form a key of `valueMap`, whose entry's first extra
  /// cell is the slot's number. `groupIndex` names the recode in messages;
  /// `exclUserMiss`: user-missing values of the variables count as missing.
  /// The pointers are borrowed: the procedure keeps the list, the map and the
  /// formats alive as long as this specification and its adapters.
  int AddMatrixSpec(const std::vector<int>* varInds, const ObsVecMap* valueMap,
                    const std::vector<VORM_Format>* formats, int groupIndex, bool exclUserMiss);
  /// A slot no host variable feeds: continuous when `contVar`, else categorical.
  int AddFreeVariable(bool contVar);
  /// The weight slot: the adjusted case weight. Created once; a second call
  /// returns the existing index.
  int SetWeightVar();
  /// The slot of the case's position within its split group (from 0); made
  /// once, like the weight slot.
  int SetCaseCount();
  /// The slot of the host's case number (from 1); made once, like the
  /// weight slot.
  int SetGlobalCount();

  // --- Queries by record index ------------------------------------------------
  int GetVORMVarIndex(int recInd) const;                      ///< -1 out of range
  const KVOVariableDesc* GetRecVarDescPtr(int recInd) const;  ///< null out of range
  bool GetRecordCatVar(int recInd) const;                     ///< true out of range

  // --- Queries by host variable index -------------------------------------------
  int GetRecVarIndex(int vormInd) const;  ///< -1 out of range or not in the record
  /// The descriptor of a host variable's slot; null when it has none.
  const KVOVariableDesc* GetVORMVarDescPtr(int vormInd) const;
  /// Whether a host variable's slot is categorical; true when it has none.
  bool GetVORMCatVar(int vormInd) const;

  // --- Queries by matrix number -------------------------------------------------
  /// Matrix recode `matrixNum` (from 0, in the order added); null out of range.
  const KVOMatrixSpecs* GetMatrixSpecsPtr(int matrixNum) const;
  /// The record slot of a matrix recode; -1 out of range.
  int GetRecMatrixInd(int matrixNum) const;
  /// The group index a matrix recode was added with; 0 out of range.
  int GetMatSpecGroupNum(int matrixNum) const;
  /// The number of matrix recodes.
  int GetNMatrices() const { return static_cast<int>(fvMatrixSpecs.size()); }

  // --- Lists ----------------------------------------------------------------
  /// Per host variable index, its record slot; -1 for a variable without one.
  const std::vector<int>& GetRecordIndices() const { return fvRecordIndices; }
  /// Per record slot, its host variable index; -1 for other slots.
  const std::vector<int>& GetVORMIndices() const { return fvVormIndices; }
  /// The categorical slots fed by host variables, in the order added.
  const std::vector<int>& GetRecCatVars() const { return fvRecCatVars; }
  /// The continuous slots fed by host variables, in the order added.
  const std::vector<int>& GetRecContVars() const { return fvRecContVars; }
  /// The host variables of GetRecCatVars, in the same order.
  const std::vector<int>& GetCatVarsX() const { return fvCatVarsX; }
  /// The host variables of GetRecContVars, in the same order.
  const std::vector<int>& GetContVarsX() const { return fvContVarsX; }
  /// The free slots, in the order added.
  const std::vector<int>& GetFreeIndices() const { return fvFreeIndices; }

  /// The record size: the number of descriptors.
  int GetNRecordVars() const { return static_cast<int>(fvVarDescs.size()); }
  /// The weight slot; -1 for none.
  int GetWeightVarInd() const { return fWeightVarInd; }
  /// The slot of the group's case counter; -1 for none.
  int GetCaseCountInd() const { return fCaseCountInd; }
  /// The slot of the host's case number; -1 for none.
  int GetGlobalCountInd() const { return fGlobalCountInd; }
  /// The slot the last addition returned (0 before any).
  int GetLastIndex() const { return fLastIndex; }
  /// The character the host writes between a number's whole and decimal digits.
  char GetDecimalCharacter() const { return fDecimalChar; }

  // --- Text -------------------------------------------------------------------
  /// A value as text with the host's formatting: a number at width 40 with
  /// its format's type and decimals, trimmed at both ends; a string at its
  /// format's width, losing its trailing blanks when `trim`, else the whole
  /// buffer (NUL bytes included). "" for a null value or a format the host
  /// refuses.
  /// REQUIRES: `value` holds the bytes a string format reads (the width for
  /// A, half of it for AHEX); the form below makes sure of it.
  std::string ConvertObsToString(const OBS* value, const VORM_Format& format, bool trim) const;
  /// The same for a value of `variable` with its print format, narrowed so
  /// that no more bytes are read than the value holds: A to at most the
  /// variable's width, AHEX to at most twice it (a number is one 8-byte
  /// cell). "" for a null value or a format the host refuses.
  std::string ConvertObsToString(const OBS* value, const VORM_Variable& variable, bool trim) const;
  /// A copy of `text` whose first '.' is replaced by the decimal character.
  std::string AdjustDecimalCharacter(const std::string& text) const;

  /// Diagnostic dump of the layout.
  void Display() const;
  /// Diagnostic dump: the host variable name of every slot.
  void DisplayVarNames(const VORM_DataSource& dataSource) const;

 protected:
  /// Gives a host variable's descriptor its slot (`newIndex` for a new one)
  /// and returns the slot.
  int AddToVarList(KVOVariableDesc& desc, int newIndex, bool catVar);
  /// Gives matrix recode `specNum` its slot (`newIndex` unless it has one);
  /// -1 for a matrix number out of range.
  int AddToMatrixList(int specNum, int newIndex);
  /// Asks the host how it prints 1.1 and keeps its decimal character.
  void SetDecimalCharacter();

 private:
  /// Appends a continuous (-1, false, true, true, true) slot at the end.
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
