// A matrix specification: how a combination of categorical values of
// several host variables is recoded into one number of the record. A plain
// value type that refers to the procedure's variable list, map and format
// list without owning them; one thread at a time.
#ifndef KVOADAPTER_KVOMATRIXSPECS_H
#define KVOADAPTER_KVOMATRIXSPECS_H

#include <vorm/ObsVecMap.h>

#include <vector>

#include "kvoadapter/KVOExport.h"

class KVO_EXPORT KVOMatrixSpecs {
 public:
  KVOMatrixSpecs();
  KVOMatrixSpecs(const std::vector<int>* varList, const ObsVecMap* valueMap,
                 const std::vector<VORM_Format>* formats, int groupIndex, bool exclUserMiss);
  KVOMatrixSpecs(const KVOMatrixSpecs& other) = default;
  KVOMatrixSpecs& operator=(const KVOMatrixSpecs& other) = default;
  ~KVOMatrixSpecs() = default;

  const std::vector<int>* GetMatrixVarListPtr() const { return fpMatrixVarList; }
  const ObsVecMap* GetObsVecMapPtr() const { return fpObsVecMap; }
  const std::vector<VORM_Format>* GetFormatListPtr() const { return fpFormatList; }
  int GetRecVarIndex() const { return fRecVarIndex; }
  int GetGroupIndex() const { return fGroupIndex; }
  bool GetExclUserMiss() const { return fbExclUserMiss; }

  // Store the address of the given object; no copy is made.
  void SetMatrixVarList(const std::vector<int>& varList) { fpMatrixVarList = &varList; }
  void SetObsVecMap(const ObsVecMap& valueMap) { fpObsVecMap = &valueMap; }
  void SetFormatList(const std::vector<VORM_Format>& formats) { fpFormatList = &formats; }
  void SetRecVarIndex(int recInd) { fRecVarIndex = recInd; }
  void SetGroupIndex(int groupIndex) { fGroupIndex = groupIndex; }
  void SetExclUserMiss(bool value) { fbExclUserMiss = value; }

  // Diagnostic dump.
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
