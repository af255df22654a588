// Fuzz target: the host's value map (ObsVecMap) against a plain reference
// model, a list of the keys inserted so far searched one by one.
//
// Input: the key layout (1 to 4 variables, each numeric or a string 1 to 40
// bytes wide) and the number of extra cells, then operations: insert a key,
// look a key up, sort. Keys are drawn from small pools (numbers such as 0,
// -0, NaN and the system-missing value; strings from a few bytes) so that
// equal keys recur; the bytes of a string's last cell beyond its width are
// random, since they are not part of the value.
//
// Properties: keys are equal variable by variable (numbers by value, with
// 0 and -0 one key and every NaN one key; strings over their width); Insert
// of a new key gives zeroed extra cells, of a present key its existing ones;
// Contains finds exactly the keys inserted; entries never move; Sort lists
// every entry once in strictly ascending key order (numbers by value, NaN
// last; strings bytewise unsigned).
#include <vorm/ObsVecMap.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include "FuzzSupport.h"

namespace {

constexpr size_t MAX_OPERATIONS = 3000;

struct Part {
  size_t fOffset;
  int fWidth;  // 0 numeric
};

struct Layout {
  ObsVecMap::KeySpec fSpec;
  std::vector<Part> fParts;
  size_t fKeyCells = 0;
};

struct Entry {
  std::vector<OBS> fKey;
  OBS* fpExtra;
  double fId;
};

bool PartEqual(const Part& part, const OBS* a, const OBS* b) {
  if (part.fWidth == 0) {
    const double x = a[part.fOffset].num, y = b[part.fOffset].num;
    return x == y || (std::isnan(x) && std::isnan(y));
  }
  return std::memcmp(a + part.fOffset, b + part.fOffset, static_cast<size_t>(part.fWidth)) == 0;
}

bool KeyEqual(const Layout& layout, const OBS* a, const OBS* b) {
  for (const Part& part : layout.fParts) {
    if (!PartEqual(part, a, b)) return false;
  }
  return true;
}

// -1, 0, 1 as a is before, equal to or after b.
int Compare(const Layout& layout, const OBS* a, const OBS* b) {
  for (const Part& part : layout.fParts) {
    if (part.fWidth == 0) {
      const double x = a[part.fOffset].num, y = b[part.fOffset].num;
      const bool xNan = std::isnan(x), yNan = std::isnan(y);
      if (xNan || yNan) {
        if (xNan != yNan) return xNan ? 1 : -1;
        continue;
      }
      if (x != y) return x < y ? -1 : 1;
    } else {
      const int c = std::memcmp(a + part.fOffset, b + part.fOffset, static_cast<size_t>(part.fWidth));
      if (c != 0) return c < 0 ? -1 : 1;
    }
  }
  return 0;
}

double Number(kvo_fuzz::FuzzBytes& in) {
  static const double POOL[] = {0.0,
                                -0.0,
                                1.0,
                                -1.0,
                                0.5,
                                VORM_SYSMIS,
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(),
                                -std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::denorm_min()};
  const uint8_t choice = in.Byte();
  if (choice < 200) return POOL[choice % (sizeof POOL / sizeof POOL[0])];
  return in.Double();  // any bits, other NaN payloads included
}

std::vector<OBS> MakeKey(const Layout& layout, kvo_fuzz::FuzzBytes& in) {
  std::vector<OBS> key(layout.fKeyCells);
  for (const Part& part : layout.fParts) {
    if (part.fWidth == 0) {
      key[part.fOffset].num = Number(in);
      continue;
    }
    static const char ALPHABET[] = {'a', 'b', ' ', '\0', '\xff', 'A'};
    char* bytes = key[part.fOffset].str;
    const size_t cells = static_cast<size_t>(VORM_CellCount(part.fWidth));
    const uint8_t pattern = in.Byte();
    for (size_t i = 0; i < cells * sizeof(OBS); ++i) {
      if (i < static_cast<size_t>(part.fWidth)) {
        // Mostly one repeated byte with a few changes, so that keys recur.
        const uint8_t b = (pattern & 1) != 0 ? in.Byte() : pattern;
        bytes[i] = ALPHABET[(b >> 1) % sizeof ALPHABET];
      } else {
        bytes[i] = static_cast<char>(in.Byte());  // beyond the width: not part of the value
      }
    }
  }
  return key;
}

const Entry* Find(const Layout& layout, const std::vector<Entry>& model, const std::vector<OBS>& key) {
  for (const Entry& entry : model) {
    if (KeyEqual(layout, entry.fKey.data(), key.data())) return &entry;
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvo_fuzz::FuzzBytes in(data, size);
  Layout layout;
  const int nParts = 1 + in.Byte() % 4;
  for (int i = 0; i < nParts; ++i) {
    const uint8_t b = in.Byte();
    const int width = b % 3 == 0 ? 0 : 1 + (b / 3) % 40;
    layout.fSpec.push_back(static_cast<short>(width));
    layout.fParts.push_back(Part{layout.fKeyCells, width});
    layout.fKeyCells += static_cast<size_t>(VORM_CellCount(width));
  }
  const size_t extraCells = in.Byte() % 4;

  ObsVecMap map(layout.fSpec, extraCells);
  FUZZ_CHECK(map.CellSize() == layout.fKeyCells + extraCells);
  FUZZ_CHECK(map.GetKeySpec() == layout.fSpec);
  FUZZ_CHECK(map.Size() == 0);

  std::vector<Entry> model;
  double nextId = 1.0;
  for (size_t op = 0; op < MAX_OPERATIONS && !in.Empty(); ++op) {
    const uint8_t kind = in.Byte() % 8;
    if (kind < 5) {
      const std::vector<OBS> key = MakeKey(layout, in);
      const Entry* present = Find(layout, model, key);
      OBS* extra = map.Insert(key.data());
      FUZZ_CHECK(extra != nullptr);
      if (present != nullptr) {
        FUZZ_CHECK(extra == present->fpExtra);
      } else {
        for (size_t c = 0; c < extraCells; ++c) FUZZ_CHECK(extra[c].num == 0.0);
        if (extraCells > 0) extra[0].num = nextId;
        // The entry holds a copy of the key.
        FUZZ_CHECK(KeyEqual(layout, extra - layout.fKeyCells, key.data()));
        model.push_back(Entry{key, extra, nextId});
        nextId += 1.0;
      }
      FUZZ_CHECK(map.Size() == model.size());
    } else if (kind < 7) {
      const std::vector<OBS> key = MakeKey(layout, in);
      const Entry* present = Find(layout, model, key);
      FUZZ_CHECK(map.Contains(key.data()) == (present != nullptr ? present->fpExtra : nullptr));
    } else {
      std::vector<OBS*> sorted;
      if (in.Byte() % 2 == 0) {
        sorted = map.Sort();
      } else {
        sorted.assign(3, nullptr);  // Sort replaces whatever the vector held
        map.Sort(sorted);
      }
      FUZZ_CHECK(sorted.size() == model.size());
      std::set<const OBS*> entries;
      for (const Entry& entry : model) entries.insert(entry.fpExtra - layout.fKeyCells);
      for (size_t i = 0; i < sorted.size(); ++i) {
        FUZZ_CHECK(entries.erase(sorted[i]) == 1);  // every entry exactly once
        if (i > 0) FUZZ_CHECK(Compare(layout, sorted[i - 1], sorted[i]) < 0);
      }
    }
  }
  // Entries never moved and kept what was written to them.
  for (const Entry& entry : model) {
    FUZZ_CHECK(map.Contains(entry.fKey.data()) == entry.fpExtra);
    if (extraCells > 0) FUZZ_CHECK(entry.fpExtra[0].num == entry.fId);
  }
  return 0;
}
