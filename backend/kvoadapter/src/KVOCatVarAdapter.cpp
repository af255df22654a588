// The categorical variable adapter. Each category is one entry of the
// category map: the value's key cells followed by one cell that holds the
// category's code, so a lookup gives the code directly; fvCategories points
// at each entry's key, in code order, for decoding.
#include "kvoadapter/KVOCatVarAdapter.h"

#include <vorm/Format.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "KVOAssert.h"
#include "KVOValueFormat.h"
#include "kvoadapter/KVOCommonDisplay.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOCatVarAdapter";

// An empty map with one code cell per entry, keyed by the one variable.
std::unique_ptr<ObsVecMap> NewCategoryMap(const VORM_DataSource& dataSource, int vormInd) {
  return std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(dataSource, std::vector<int>{vormInd}), 1);
}
}  // namespace

KVOCatVarAdapter::KVOCatVarAdapter(ProcedureDataSource& dataSource, ProcDSIterator& iterator, int vormInd,
                                   bool userMissingValid)
    : fpDataSource(&dataSource),
      fVarIndex(vormInd),
      fCaseValueReader(iterator, vormInd, userMissingValid),
      fpCategoryMap(NewCategoryMap(iterator.GetDataSource(), vormInd)),
      fNKeyCells(static_cast<int>(fpCategoryMap->CellSize()) - 1),
      fbOneCellKey(fNKeyCells == 1) {
  ClearCache();
}

// The copy gets a map of its own holding the same keys with the same codes
// (inserted in code order, so each receives its old code) and a reader of
// its own; its categories point into its own map.
KVOCatVarAdapter::KVOCatVarAdapter(const KVOCatVarAdapter& other)
    : fpDataSource(other.fpDataSource),
      fVarIndex(other.fVarIndex),
      fCaseValueReader(other.fCaseValueReader),
      fpCategoryMap(std::make_unique<ObsVecMap>(other.fpCategoryMap->GetKeySpec(), 1)),
      fNKeyCells(other.fNKeyCells),
      fbOneCellKey(other.fbOneCellKey) {
  ClearCache();
  fvCategories.reserve(other.fvCategories.size());
  for (const OBS* key : other.fvCategories) AddCategory(key);
}

// Inserts a key that is not in the map yet; its code is its position.
int KVOCatVarAdapter::AddCategory(const OBS* key) {
  OBS* valueCell = fpCategoryMap->Insert(key);
  const int code = static_cast<int>(fpCategoryMap->Size()) - 1;
  valueCell->num = static_cast<double>(code);
  fvCategories.push_back(valueCell - fNKeyCells);
  CacheCode(key, code);
  return code;
}

void KVOCatVarAdapter::ClearCache() {
  for (CacheSlot& slot : fCache) slot = CacheSlot{0, -1};
}

void KVOCatVarAdapter::CacheCode(const OBS* key, int code) const {
  if (!fbOneCellKey) return;
  uint64_t bits;
  std::memcpy(&bits, key, sizeof bits);
  fCache[CacheIndex(bits)] = CacheSlot{bits, code};
}

// The two look-ups below are out of line: they run for a value the cache
// does not hold, not for every case, and inlined into the encoders they
// would make them save registers on every call.
[[gnu::noinline]] int KVOCatVarAdapter::FindCode(const OBS* key) const {
  const OBS* codeCell = fpCategoryMap->Contains(key);
  if (codeCell == nullptr) return -1;
  const int code = CodeOf(codeCell);
  CacheCode(key, code);
  return code;
}

[[gnu::noinline]] int KVOCatVarAdapter::FindOrAddCode(const OBS* key) {
  const int code = FindCode(key);
  return code >= 0 ? code : AddCategory(key);
}

// No validity rule here: the caller gives a value it has judged itself.
int KVOCatVarAdapter::Encode(const OBS* key, bool& newValue, bool add) {
  newValue = false;
  if (!KVO_ASSERT(key != 0)) return -1;
  if (const OBS* valueCell = fpCategoryMap->Contains(key)) return CodeOf(valueCell);
  newValue = true;
  if (!add) return -1;
  return AddCategory(key);
}

int KVOCatVarAdapter::GetSize() const { return static_cast<int>(fpCategoryMap->Size()); }

void KVOCatVarAdapter::SetCaseValueReader(ProcDSIterator& iterator, bool userMissingValid) {
  fCaseValueReader = KVOCaseValueReader(iterator, fVarIndex, userMissingValid);
}

// The keys, in the map's own ascending order (reversed for descending), are
// copied into a new map, each receiving the code of its position; then the
// old map goes. Codes and key pointers handed out before are void.
bool KVOCatVarAdapter::ReorderCategoryMap(ProcedureDataSource& dataSource, bool ascending) {
  std::vector<OBS*> keys = fpCategoryMap->Sort();
  if (!ascending) std::reverse(keys.begin(), keys.end());
  // The old map holds the keys being copied; it goes when this returns.
  std::unique_ptr<ObsVecMap> oldMap = std::exchange(fpCategoryMap, NewCategoryMap(dataSource, fVarIndex));
  fvCategories.clear();
  ClearCache();
  for (const OBS* key : keys) {
    if (fpCategoryMap->Contains(key) == nullptr) AddCategory(key);
  }
  return true;
}

// The variable's name, then one line per category in code order with the
// value as the variable's print format shows it, trimmed of blanks.
void KVOCatVarAdapter::Display() const {
  const VORM_Variable* variable = fpDataSource != nullptr ? fpDataSource->GetVariable(fVarIndex) : nullptr;
  std::string name;
  if (variable != nullptr && variable->GetName() != nullptr) {
    name = variable->GetName();
  } else {
    name = "<no variable " + std::to_string(fVarIndex) + ">";
  }
  KVOCommonDisplay::DisplayText(1, "Encoded values for Korel variable " + name);

  std::string text;
  for (size_t code = 0; code < fvCategories.size(); ++code) {
    text.clear();
    if (variable != nullptr) {
      // Never wider than the stored value.
      const VORM_Format format = kvo_detail::FormatWithinValue(variable->GetFormat(), variable->GetType());
      const size_t width = static_cast<size_t>(format.Width());
      std::string buffer(width + 1, '\0');
      if (KVO_ASSERT_TEXT(ToString(fvCategories[code], format, buffer.data()) == 0,
                          "ToString(value, format, buffer) == 0")) {
        buffer[width] = '\0';
        text = VORMMBstrtrim_A(buffer.data());
      }
    }
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "Encoded value = %d, for OBS value ", static_cast<int>(code));
    KVOCommonDisplay::DisplayText(1, prefix + text);
  }
}
