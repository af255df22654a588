// Turns the value of one categorical variable into a category code (0, 1,
// ... in order of first appearance; -1 for no category) and codes back into
// values; can renumber the categories into sorted order. Used by the data
// pass's thread. Owns its category map and its case value reader; borrows
// the data source and the iterator.
#ifndef KVOADAPTER_KVOCATVARADAPTER_H
#define KVOADAPTER_KVOCATVARADAPTER_H

#include <vorm/ObsVecMap.h>
#include <vorm/ProcedureDataSource.h>

#include <vector>

#include "kvoadapter/KVOCaseValueReader.h"
#include "kvoadapter/KVOExport.h"

class KVO_EXPORT KVOCatVarAdapter {
 public:
  // `userMissingValid`: user-missing values count as valid data.
  KVOCatVarAdapter(ProcedureDataSource& dataSource, ProcDSIterator& iterator, int vormInd,
                   bool userMissingValid);
  // Copies own their map and reader: a copy's categories point into its own map.
  KVOCatVarAdapter(const KVOCatVarAdapter& other);
  KVOCatVarAdapter& operator=(const KVOCatVarAdapter&) = delete;
  ~KVOCatVarAdapter();

  // Collecting encode of the current case's value: adds unseen valid values.
  // Per case one lookup; an insertion only for a value not seen before.
  int Encode() {
    if (!fpCaseValueReader->UpdateValid()) return -1;
    const OBS* key = &fpCaseValueReader->Value();
    if (const OBS* codeCell = fpCategoryMap->Contains(key)) return CodeOf(codeCell);
    return AddCategory(key);
  }
  // Replaying encode: never adds; -1 for an unseen or invalid value.
  int EncodeOldVars() const {
    if (!fpCaseValueReader->UpdateValid()) return -1;
    const OBS* codeCell = fpCategoryMap->Contains(&fpCaseValueReader->Value());
    return codeCell != nullptr ? CodeOf(codeCell) : -1;
  }
  // Encodes the value at `key`; sets `newValue` when it was not in the map,
  // and adds it only when `add`.
  int Encode(const OBS* key, bool& newValue, bool add);
  // The key cells of category `code`, or null.
  const OBS* Decode(int code) const {
    return code >= 0 && code < static_cast<int>(fvCategories.size()) ? fvCategories[code] : nullptr;
  }
  const std::vector<OBS*>* GetCategories() const { return &fvCategories; }
  int GetSize() const;
  int GetVarIndex() const { return fVarIndex; }
  bool UpdateValid() { return fpCaseValueReader->UpdateValid(); }

  // Rebinds to a new iterator; the categories stay.
  void SetCaseValueReader(ProcDSIterator& iterator, bool userMissingValid);
  // Renumbers the categories in sorted order (ascending when `ascending`).
  bool ReorderCategoryMap(ProcedureDataSource& dataSource, bool ascending);

  // Diagnostic dump.
  void Display() const;

 private:
  // The code kept in an entry's code cell (a whole number).
  static int CodeOf(const OBS* codeCell) { return static_cast<int>(codeCell->num); }
  int AddCategory(const OBS* key);

  ProcedureDataSource* fpDataSource;
  int fVarIndex;
  ObsVecMap* fpCategoryMap;
  int fNKeyCells;
  KVOCaseValueReader* fpCaseValueReader;
  std::vector<OBS*> fvCategories;
};

#endif  // KVOADAPTER_KVOCATVARADAPTER_H
