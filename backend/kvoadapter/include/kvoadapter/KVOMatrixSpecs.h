/// \file
/// KVOMatrixSpecs: one matrix recode of the record layout.
#ifndef KVOADAPTER_KVOMATRIXSPECS_H
#define KVOADAPTER_KVOMATRIXSPECS_H

#include <vorm/ObsVecMap.h>

#include <vector>

#include "kvoadapter/KVOExport.h"

/// A matrix specification: how a combination of categorical values of
/// several host variables is recoded into one number of the record. A plain
/// value type that refers to the procedure's variable list, map and format
/// list without owning them; one thread at a time.
class KVO_EXPORT KVOMatrixSpecs {
 public:
  /// An empty recode: no variables, map or formats; slot -1, group 0.
  KVOMatrixSpecs();
  /// A recode of the variables `varList` (with one format each in
  /// `formats`) through `valueMap`; see KVOVarValidSpecs::AddMatrixSpec.
  /// Slot -1 until the layout gives one.
  KVOMatrixSpecs(const std::vector<int>* varList, const ObsVecMap* valueMap,
                 const std::vector<VORM_Format>* formats, int groupIndex, bool exclUserMiss);
  /// A copy that points at the same list, map and formats.
  KVOMatrixSpecs(const KVOMatrixSpecs& other) = default;
  /// As the copy constructor.
  KVOMatrixSpecs& operator=(const KVOMatrixSpecs& other) = default;
  /// Frees nothing: the list, map and formats are the procedure's.
  ~KVOMatrixSpecs() = default;

  const std::vector<int>* GetMatrixVarListPtr() const { return fpMatrixVarList; }  ///< The host variables.
  const ObsVecMap* GetObsVecMapPtr() const { return fpObsVecMap; }  ///< Combinations to numbers.
  const std::vector<VORM_Format>* GetFormatListPtr() const { return fpFormatList; }  ///< One per variable.
  int GetRecVarIndex() const { return fRecVarIndex; }      ///< The record slot; -1 before one is given.
  int GetGroupIndex() const { return fGroupIndex; }        ///< The number that names the recode in messages.
  bool GetExclUserMiss() const { return fbExclUserMiss; }  ///< User-missing values count as missing.

  /// Store the address of the given object; no copy is made.
  void SetMatrixVarList(const std::vector<int>& varList) { fpMatrixVarList = &varList; }
  /// Stores the map's address; no copy is made.
  void SetObsVecMap(const ObsVecMap& valueMap) { fpObsVecMap = &valueMap; }
  /// Stores the formats' address; no copy is made.
  void SetFormatList(const std::vector<VORM_Format>& formats) { fpFormatList = &formats; }
  void SetRecVarIndex(int recInd) { fRecVarIndex = recInd; }        ///< Sets the record slot.
  void SetGroupIndex(int groupIndex) { fGroupIndex = groupIndex; }  ///< Sets the group number.
  void SetExclUserMiss(bool value) { fbExclUserMiss = value; }      ///< Sets GetExclUserMiss.

  /// Diagnostic dump.
  void Display() const;

 private:
  int fRecVarIndex;
  const std::vector<int>* fpMatrixVarList;
  const ObsVecMap* fpObsVecMap;
  const std::vector<VORM_Format>* fpFormatList;
  int fGroupIndex;
  bool fbExclUserMiss;
};

#endif  // KVOADAPTER_KVOMATRIXSPECS_H
