/// \file
/// KVOCatVarAdapter: category codes of one categorical variable.
#ifndef KVOADAPTER_KVOCATVARADAPTER_H
#define KVOADAPTER_KVOCATVARADAPTER_H

#include <vorm/ObsVecMap.h>
#include <vorm/ProcedureDataSource.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "kvoadapter/KVOCaseValueReader.h"
#include "kvoadapter/KVOExport.h"

/// Turns the value of one categorical variable into a category code (0, 1,
/// ... in order of first appearance; -1 for no category) and codes back into
/// values; can renumber the categories into sorted order. Used by the data
/// pass's thread. Owns its category map and its case value reader; borrows
/// the data source and the iterator.
///
/// The map belongs to the host and is asked out of line; for values of one
/// cell the adapter keeps the map's recent answers in a small cache of its
/// own, so that a value met before costs no call.
class KVO_EXPORT KVOCatVarAdapter {
 public:
  /// An adapter of host variable `vormInd` that reads it through `iterator`,
  /// with no category yet. `userMissingValid`: user-missing values count as valid data.
  KVOCatVarAdapter(ProcedureDataSource& dataSource, ProcDSIterator& iterator, int vormInd,
                   bool userMissingValid);
  /// Copies own their map and reader: a copy's categories point into its own map.
  KVOCatVarAdapter(const KVOCatVarAdapter& other);
  KVOCatVarAdapter& operator=(const KVOCatVarAdapter&) = delete;
  ~KVOCatVarAdapter() = default;

  /// Collecting encode of the current case's value: adds unseen valid values.
  /// Per case one lookup; an insertion only for a value not seen before.
  int Encode() {
    if (!fCaseValueReader.UpdateValid()) return -1;
    const OBS* key = &fCaseValueReader.Value();
    const int code = CachedCode(key);
    return code >= 0 ? code : FindOrAddCode(key);
  }
  /// Replaying encode: never adds; -1 for an unseen or invalid value.
  int EncodeOldVars() const {
    if (!fCaseValueReader.UpdateValid()) return -1;
    const OBS* key = &fCaseValueReader.Value();
    const int code = CachedCode(key);
    return code >= 0 ? code : FindCode(key);
  }
  /// Encodes the value at `key`; sets `newValue` when it was not in the map,
  /// and adds it only when `add`.
  int Encode(const OBS* key, bool& newValue, bool add);
  /// The key cells of category `code`, or null.
  const OBS* Decode(int code) const {
    return code >= 0 && code < static_cast<int>(fvCategories.size()) ? fvCategories[static_cast<size_t>(code)]
                                                                     : nullptr;
  }
  /// The key cells of every category, in code order.
  const std::vector<OBS*>* GetCategories() const { return &fvCategories; }
  /// The number of categories.
  int GetSize() const;
  /// The host variable.
  int GetVarIndex() const { return fVarIndex; }
  /// Whether the current case's value is valid (KVOCaseValueReader::UpdateValid).
  bool UpdateValid() { return fCaseValueReader.UpdateValid(); }

  /// Rebinds to a new iterator; the categories stay.
  void SetCaseValueReader(ProcDSIterator& iterator, bool userMissingValid);
  /// Renumbers the categories in sorted order (ascending when `ascending`).
  bool ReorderCategoryMap(ProcedureDataSource& dataSource, bool ascending);

  /// Diagnostic dump.
  void Display() const;

 private:
  /// One slot of the cache: the bits of a one-cell key and its code; a code
  /// of -1 marks an empty slot. A key's code never changes while the map
  /// lives (new categories take new codes), so an answer stays true until a
  /// renumbering, which empties the cache.
  struct CacheSlot {
    uint64_t fBits;
    int fCode;
  };
  static constexpr unsigned CACHE_BITS = 6;
  static constexpr size_t CACHE_SLOTS = size_t{1} << CACHE_BITS;

  /// The slot of a key's bits: the top bits of the bits times 2^64 divided by
  /// the golden ratio, which spreads every input bit over them.
  static size_t CacheIndex(uint64_t bits) {
    return static_cast<size_t>((bits * 0x9E3779B97F4A7C15ull) >> (64 - CACHE_BITS));
  }
  /// The cached code of the key, or -1 when the cache does not hold it.
  int CachedCode(const OBS* key) const {
    if (!fbOneCellKey) return -1;
    uint64_t bits;
    std::memcpy(&bits, key, sizeof bits);
    const CacheSlot& slot = fCache[CacheIndex(bits)];
    return slot.fBits == bits ? slot.fCode : -1;
  }
  /// The map's code of the key, cached; -1 when the key is absent.
  int FindCode(const OBS* key) const;
  /// The same, adding an absent key.
  int FindOrAddCode(const OBS* key);
  /// Puts a key's code into the cache (keys of one cell only).
  void CacheCode(const OBS* key, int code) const;
  void ClearCache();
  /// The code kept in an entry's code cell (a whole number).
  static int CodeOf(const OBS* codeCell) { return static_cast<int>(codeCell->num); }
  int AddCategory(const OBS* key);

  ProcedureDataSource* fpDataSource;
  int fVarIndex;
  /// Mutable: the replaying encode is const but stores the reader's verdict.
  mutable KVOCaseValueReader fCaseValueReader;
  std::unique_ptr<ObsVecMap> fpCategoryMap;
  int fNKeyCells;
  std::vector<OBS*> fvCategories;
  bool fbOneCellKey;                      ///< the key is one cell: a number or a string of up to 8 bytes
  mutable CacheSlot fCache[CACHE_SLOTS];  ///< filled by the const replaying encode too
};

#endif  // KVOADAPTER_KVOCATVARADAPTER_H
