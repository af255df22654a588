// The host's value map: entries live in chunks that are never reallocated,
// so an entry's address is fixed for the map's life; an open-addressing table
// of (tag, entry) slots finds them. For keys of one cell the tag is the
// canonical key itself, so a lookup touches only the slot array, and its home
// slot is the top bits of the tag times a large odd constant; for longer keys
// the tag is the key's hash and a hit is confirmed on the entry.
//
// Key equality and order work variable by variable: numbers by value (0.0
// and -0.0 are one key, all NaNs are one key that sorts last), strings
// bytewise unsigned over the variable's width (bytes after the width in the
// last cell are not part of the value and are ignored).
#include <vorm/ObsVecMap.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr size_t MIN_SLOTS = 16;
constexpr size_t FIRST_CHUNK_ENTRIES = 16;
constexpr size_t MAX_CHUNK_BYTES = size_t{1} << 20;
constexpr uint64_t CANONICAL_NAN = 0x7FF8000000000000ull;
// 2^64 divided by the golden ratio, odd: the home slot of a one-cell tag is
// the top bits of the tag times this.
constexpr uint64_t FIBONACCI = 0x9E3779B97F4A7C15ull;

// Bits of a number such that equal numbers give equal bits.
inline uint64_t CanonicalNumber(double value) {
  if (value == 0.0) return 0;
  if (value != value) return CANONICAL_NAN;
  return std::bit_cast<uint64_t>(value);
}

inline uint64_t LoadCell(const OBS* cell) {
  uint64_t bits;
  std::memcpy(&bits, cell, sizeof bits);
  return bits;
}

// Finaliser of a 64-bit mixer: spreads every input bit over the result.
inline uint64_t Mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  return x;
}

// The mask that keeps the first `bytes` bytes of a cell loaded with memcpy.
inline uint64_t PrefixMask(size_t bytes) {
  if (bytes >= 8) return ~uint64_t{0};
  uint64_t mask = 0;
  std::memset(&mask, 0xFF, bytes);
  return mask;
}

// One key variable: where its cells start in the key, and its type.
struct KeyPart {
  size_t fOffset;
  int fWidth;  // 0 numeric, else string width in bytes
};

}  // namespace

struct ObsVecMap::Rep {
  // A slot of the open-addressing table: a tag (for a key of one cell, the
  // key's canonical bits) and its entry, null for an empty slot.
  struct Slot {
    uint64_t fTag;
    OBS* fpEntry;
  };

  KeySpec fKeySpec;
  std::vector<KeyPart> fParts;
  size_t fKeyCells = 0;
  size_t fExtraCells = 0;
  size_t fCellSize = 0;
  size_t fStride = 1;  // cells an entry takes in a chunk (at least one)

  // One-cell keys: the canonical key is the tag.
  bool fbOneCell = false;
  bool fbOneCellNumeric = false;
  uint64_t fOneCellMask = ~uint64_t{0};

  // Entry storage: chunks of fixed capacity; all but the last are full.
  std::vector<std::unique_ptr<OBS[]>> fChunks;
  std::vector<size_t> fChunkEntries;
  size_t fLastChunkUsed = 0;
  size_t fSize = 0;

  std::unique_ptr<Slot[]> fpSlots;
  size_t fSlotMask = 0;
  unsigned fSlotShift = 0;  // 64 - log2(number of slots)

  Rep(const KeySpec& keySpec, size_t extraCells) : fKeySpec(keySpec), fExtraCells(extraCells) {
    for (short type : fKeySpec) {
      int width = type;
      if (width < 0) {
        std::fprintf(stderr, "ObsVecMap: key variable type %d is not valid; taken as numeric\n", width);
        width = 0;
      }
      fParts.push_back(KeyPart{fKeyCells, width});
      fKeyCells += static_cast<size_t>(VORM_CellCount(width));
    }
    fCellSize = fKeyCells + fExtraCells;
    fStride = std::max<size_t>(fCellSize, 1);
    fbOneCell = fParts.size() == 1 && fKeyCells == 1;
    if (fbOneCell) {
      fbOneCellNumeric = fParts[0].fWidth == 0;
      fOneCellMask = fbOneCellNumeric ? ~uint64_t{0} : PrefixMask(static_cast<size_t>(fParts[0].fWidth));
    }
    SetSlots(std::make_unique<Slot[]>(MIN_SLOTS), MIN_SLOTS);
  }

  void SetSlots(std::unique_ptr<Slot[]> slots, size_t count) {
    fpSlots = std::move(slots);
    fSlotMask = count - 1;
    fSlotShift = static_cast<unsigned>(64 - std::countr_zero(count));
  }

  // The home slot of a one-cell tag.
  // Multiplying by FIBONACCI spreads every bit of the tag over the product's
  // top bits.
  size_t OneCellHome(uint64_t tag) const { return static_cast<size_t>((tag * FIBONACCI) >> fSlotShift); }

  // The tag of a one-cell key.
  uint64_t OneCellTag(const OBS* key) const {
    return fbOneCellNumeric ? CanonicalNumber(key->num) : (LoadCell(key) & fOneCellMask);
  }

  uint64_t Hash(const OBS* key) const {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (const KeyPart& part : fParts) {
      const OBS* cells = key + part.fOffset;
      if (part.fWidth == 0) {
        h = Mix(h ^ CanonicalNumber(cells->num));
        continue;
      }
      size_t bytes = static_cast<size_t>(part.fWidth);
      for (size_t c = 0; bytes > 0; ++c) {
        const size_t take = std::min<size_t>(bytes, 8);
        h = Mix(h ^ (LoadCell(cells + c) & PrefixMask(take)));
        bytes -= take;
      }
    }
    return h;
  }

  bool KeysEqual(const OBS* a, const OBS* b) const {
    for (const KeyPart& part : fParts) {
      if (part.fWidth == 0) {
        if (CanonicalNumber(a[part.fOffset].num) != CanonicalNumber(b[part.fOffset].num)) return false;
      } else if (std::memcmp(a + part.fOffset, b + part.fOffset, static_cast<size_t>(part.fWidth)) != 0) {
        return false;
      }
    }
    return true;
  }

  // Strict weak order of keys (see the file comment).
  bool KeyLess(const OBS* a, const OBS* b) const {
    for (const KeyPart& part : fParts) {
      if (part.fWidth == 0) {
        const double x = a[part.fOffset].num;
        const double y = b[part.fOffset].num;
        if (x < y) return true;
        if (y < x) return false;
        const bool xNan = x != x;
        const bool yNan = y != y;
        if (xNan != yNan) return yNan;
      } else {
        const int c = std::memcmp(a + part.fOffset, b + part.fOffset, static_cast<size_t>(part.fWidth));
        if (c != 0) return c < 0;
      }
    }
    return false;
  }

  // The slot that holds the key, or the empty slot where it belongs.
  Slot* Probe(const OBS* key) const {
    if (fbOneCell) {
      const uint64_t tag = OneCellTag(key);
      size_t i = OneCellHome(tag);
      for (;;) {
        Slot* slot = &fpSlots[i];
        if (slot->fpEntry == nullptr || slot->fTag == tag) return slot;
        i = (i + 1) & fSlotMask;
      }
    }
    const uint64_t tag = Hash(key);
    size_t i = tag & fSlotMask;
    for (;;) {
      Slot* slot = &fpSlots[i];
      if (slot->fpEntry == nullptr || (slot->fTag == tag && KeysEqual(slot->fpEntry, key))) return slot;
      i = (i + 1) & fSlotMask;
    }
  }

  // Contains for any key, by the general probe.
  OBS* FindAny(const OBS* key) const {
    if (key == nullptr) return nullptr;
    const Slot* slot = Probe(key);
    return slot->fpEntry == nullptr ? nullptr : slot->fpEntry + fKeyCells;
  }

  uint64_t TagOf(const OBS* key) const { return fbOneCell ? OneCellTag(key) : Hash(key); }
  size_t HomeOf(uint64_t tag) const { return fbOneCell ? OneCellHome(tag) : tag & fSlotMask; }

  // Doubles the slot table (kept at most half full).
  void Grow() {
    const size_t oldCount = fSlotMask + 1;
    std::unique_ptr<Slot[]> old = std::move(fpSlots);
    SetSlots(std::make_unique<Slot[]>(oldCount * 2), oldCount * 2);
    for (size_t j = 0; j < oldCount; ++j) {
      if (old[j].fpEntry == nullptr) continue;
      size_t i = HomeOf(old[j].fTag);
      while (fpSlots[i].fpEntry != nullptr) i = (i + 1) & fSlotMask;
      fpSlots[i] = old[j];
    }
  }

  OBS* NewEntry() {
    if (fChunks.empty() || fLastChunkUsed == fChunkEntries.back()) {
      const size_t maxEntries = std::max<size_t>(1, MAX_CHUNK_BYTES / (fStride * sizeof(OBS)));
      const size_t entries =
          std::min(maxEntries, fChunkEntries.empty() ? FIRST_CHUNK_ENTRIES : fChunkEntries.back() * 2);
      fChunks.push_back(std::make_unique<OBS[]>(entries * fStride));
      fChunkEntries.push_back(entries);
      fLastChunkUsed = 0;
    }
    OBS* entry = fChunks.back().get() + fLastChunkUsed * fStride;
    ++fLastChunkUsed;
    return entry;
  }

  template <typename F>
  void ForEachEntry(F&& f) const {
    for (size_t c = 0; c < fChunks.size(); ++c) {
      const size_t used = c + 1 == fChunks.size() ? fLastChunkUsed : fChunkEntries[c];
      OBS* base = fChunks[c].get();
      for (size_t e = 0; e < used; ++e) f(base + e * fStride);
    }
  }
};

ObsVecMap::KeySpec ObsVecMap::MakeKeySpec(const VORM_DataSource& dataSource,
                                          const std::vector<int>& varIndices) {
  KeySpec spec;
  spec.reserve(varIndices.size());
  for (int index : varIndices) {
    const VORM_Variable* variable = dataSource.GetVariable(index);
    if (variable == nullptr) {
      std::fprintf(stderr, "ObsVecMap::MakeKeySpec: no variable at host index %d; taken as numeric\n", index);
      spec.push_back(0);
      continue;
    }
    spec.push_back(variable->GetType());
  }
  return spec;
}

ObsVecMap::ObsVecMap(const KeySpec& keySpec, size_t extraCells) : fpRep(new Rep(keySpec, extraCells)) {}

ObsVecMap::~ObsVecMap() { delete fpRep; }

size_t ObsVecMap::CellSize() const { return fpRep->fCellSize; }

size_t ObsVecMap::Size() const { return fpRep->fSize; }

const ObsVecMap::KeySpec& ObsVecMap::GetKeySpec() const { return fpRep->fKeySpec; }

OBS* ObsVecMap::Contains(const OBS* key) const { return fpRep->FindAny(key); }

OBS* ObsVecMap::Insert(const OBS* key) {
  Rep& rep = *fpRep;
  if (key == nullptr) return nullptr;
  Rep::Slot* slot = rep.Probe(key);
  // A key that is present already keeps its one entry, values untouched.
  if (slot->fpEntry != nullptr) return slot->fpEntry + rep.fKeyCells;
  if ((rep.fSize + 1) * 2 > rep.fSlotMask + 1) {
    rep.Grow();
    slot = rep.Probe(key);
  }
  OBS* entry = rep.NewEntry();
  std::memcpy(entry, key, rep.fKeyCells * sizeof(OBS));
  std::memset(static_cast<void*>(entry + rep.fKeyCells), 0, rep.fExtraCells * sizeof(OBS));
  slot->fTag = rep.TagOf(key);
  slot->fpEntry = entry;
  ++rep.fSize;
  return entry + rep.fKeyCells;
}

std::vector<OBS*> ObsVecMap::Sort() const {
  std::vector<OBS*> keys;
  Sort(keys);
  return keys;
}

void ObsVecMap::Sort(std::vector<OBS*>& keys) const {
  const Rep& rep = *fpRep;
  keys.clear();
  keys.reserve(rep.fSize);
  rep.ForEachEntry([&](OBS* entry) { keys.push_back(entry); });
  if (rep.fbOneCell && rep.fbOneCellNumeric) {
    // One number: compare the values directly; NaN goes last.
    std::sort(keys.begin(), keys.end(), [](const OBS* a, const OBS* b) {
      const double x = a->num, y = b->num;
      if (x < y) return true;
      return (x == x) && (y != y);
    });
    return;
  }
  std::sort(keys.begin(), keys.end(), [&rep](const OBS* a, const OBS* b) { return rep.KeyLess(a, b); });
}
