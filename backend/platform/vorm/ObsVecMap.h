// A hashed map from keys of value cells to a fixed number of double cells.
// Entries never move while the map lives. One thread at a time.
#ifndef VORM_OBSVECMAP_H
#define VORM_OBSVECMAP_H

#include <cstddef>
#include <vector>

#include "vorm/Dictionary.h"

class ObsVecMap {
 public:
  // One element per key variable: its type (0 numeric, else string width).
  using KeySpec = std::vector<short>;

  // The key specification of the listed variables, in list order.
  static KeySpec MakeKeySpec(const VORM_DataSource& dataSource, const std::vector<int>& varIndices);

  // An empty map whose entries are a key (the cells of the key variables,
  // in order) followed by `extraCells` double cells.
  ObsVecMap(const KeySpec& keySpec, size_t extraCells);
  ~ObsVecMap();
  ObsVecMap(const ObsVecMap&) = delete;
  ObsVecMap& operator=(const ObsVecMap&) = delete;

  // Cells per entry: key cells plus extra cells.
  size_t CellSize() const;
  // Number of entries.
  size_t Size() const;
  const KeySpec& GetKeySpec() const;

  // The extra cells of the entry whose key equals the cells at `key`, or
  // null (also for a null key).
  OBS* Contains(const OBS* key) const;
  // Adds an entry with a copy of the key (which must not be present yet) and
  // returns its extra cells, zero-filled.
  OBS* Insert(const OBS* key);

  // Pointers to every entry's key, in ascending key order: key cells are
  // compared variable by variable in key order, numbers in IEEE order (so
  // the system-missing value sorts first), strings bytewise unsigned.
  std::vector<OBS*> Sort() const;
  void Sort(std::vector<OBS*>& keys) const;

 private:
  // The map's storage and lookup structures belong to the host.
  struct Rep;
  Rep* fpRep;
};

#endif  // VORM_OBSVECMAP_H
