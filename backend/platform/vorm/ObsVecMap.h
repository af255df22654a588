// A hashed map from keys of value cells to a fixed number of double cells.
// Entries never move while the map lives. One thread at a time.
#ifndef VORM_OBSVECMAP_H
#define VORM_OBSVECMAP_H

#include <cstddef>
#include <cstdint>
#include <cstring>
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

  // The extra cells of the entry whose key equals the cells at `key`, or null.
  OBS* Contains(const OBS* key) const {
    if (fpNumberSlots != nullptr && key != nullptr) return FindNumber(key);
    return ContainsKey(key);
  }
  // Adds an entry with a copy of the key (which must not be present yet) and
  // returns its extra cells, zero-filled.
  OBS* Insert(const OBS* key);

  // Pointers to every entry's key, in ascending key order: key cells are
  // compared variable by variable in key order, numbers in IEEE order (so
  // the system-missing value sorts first), strings bytewise unsigned.
  std::vector<OBS*> Sort() const;
  void Sort(std::vector<OBS*>& keys) const;

 private:
  // A slot of the map's open-addressing table: a tag (for a key of one cell,
  // the key's canonical bits) and its entry, null for an empty slot.
  struct Slot {
    uint64_t fTag;
    OBS* fpEntry;
  };
  // 2^64 divided by the golden ratio, odd: the home slot of a one-cell tag
  // is the top bits of the tag times this.
  static constexpr uint64_t FIBONACCI = 0x9E3779B97F4A7C15ull;

  // A map keyed by one number is looked up here, inline in the caller: the
  // table's slots hold the numbers' bits, with 0.0 and -0.0 as the bits of
  // 0.0 and every NaN as the bits of the default quiet NaN; a miss of a zero
  // or a NaN with other bits is settled by the general lookup.
  OBS* FindNumber(const OBS* key) const {
    uint64_t bits;
    std::memcpy(&bits, key, sizeof bits);
    for (size_t i = static_cast<size_t>((bits * FIBONACCI) >> fSlotShift);; i = (i + 1) & fSlotMask) {
      const Slot& slot = fpNumberSlots[i];
      if (slot.fpEntry == nullptr) break;
      if (slot.fTag == bits) return slot.fpEntry + 1;
    }
    const double value = key->num;
    return value == 0.0 || value != value ? ContainsKey(key) : nullptr;
  }
  // Contains for any key, out of line.
  OBS* ContainsKey(const OBS* key) const;
  // Takes the table's current place from the representation.
  void PublishSlots();

  struct Rep;
  Rep* fpRep;
  // The table of a map keyed by one number (null for other keys), its size
  // less one and 64 less its base-2 logarithm.
  const Slot* fpNumberSlots = nullptr;
  size_t fSlotMask = 0;
  unsigned fSlotShift = 64;
};

#endif  // VORM_OBSVECMAP_H
