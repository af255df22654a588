// The matrix specification and the adapter that recodes a case's
// combination of its variables' values through the matrix specification's map.
#include "kvoadapter/KVOMatrixSpecAdapter.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "KVOAssert.h"
#include "kvoadapter/KVOCommonDisplay.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOMatrixSpecAdapter";
}  // namespace

// ---------------------------------------------------------------------------
// KVOMatrixSpecs

KVOMatrixSpecs::KVOMatrixSpecs()
    : fRecVarIndex(-1),
      fpMatrixVarList(nullptr),
      fpObsVecMap(nullptr),
      fpFormatList(nullptr),
      fGroupIndex(0),
      fbExclUserMiss(true) {}

KVOMatrixSpecs::KVOMatrixSpecs(const std::vector<int>* varList, const ObsVecMap* valueMap,
                               const std::vector<VORM_Format>* formats, int groupIndex, bool exclUserMiss)
    : fRecVarIndex(-1),
      fpMatrixVarList(varList),
      fpObsVecMap(valueMap),
      fpFormatList(formats),
      fGroupIndex(groupIndex),
      fbExclUserMiss(exclUserMiss) {}

// The variables, the combinations with their recoded values (each key
// value printed with its variable's format), the group and the user-missing
// rule. A specification without list or map shows them as " <none>".
void KVOMatrixSpecs::Display() const {
  namespace D = KVOCommonDisplay;
  D::DisplayStart("KVOMatrixSpecs");
  D::DisplayIV("Variable list for Matrix specification:",
               fpMatrixVarList != nullptr ? *fpMatrixVarList : std::vector<int>());
  const char* const mapLabel = "Map of (catlist, value) pairs for Matrix specification:";
  if (fpObsVecMap != nullptr) {
    D::DisplayObsVecMapD(mapLabel, *fpObsVecMap,
                         fpFormatList != nullptr ? *fpFormatList : std::vector<VORM_Format>());
  } else {
    D::DisplayText(1, std::string(mapLabel) + " <none>");
  }
  D::DisplayI("Index of subcommand group for this matrix specification:", fGroupIndex);
  D::DisplayText(1, fbExclUserMiss ? "User missing values for this matrix are excluded"
                                   : "User missing values for this matrix are treated as valid data");
  D::DisplayEnd("KVOMatrixSpecs");
}

// ---------------------------------------------------------------------------
// KVOMatrixSpecAdapter

// The key layout (cells per variable, total length) is fixed here, and the
// key buffer is allocated once: Recode reuses it for every case.
KVOMatrixSpecAdapter::KVOMatrixSpecAdapter(ProcDSIterator& iterator, const KVOMatrixSpecs* pMatrixSpec,
                                           bool userMissingValid)
    : fpMatrixSpec(pMatrixSpec), fNCatVars(0), fMissValue(KVOCaseValueReader::sysmis()), fbKeyUsable(false) {
  if (!KVO_ASSERT(pMatrixSpec != 0)) return;
  const std::vector<int>* varList = pMatrixSpec->GetMatrixVarListPtr();
  const ObsVecMap* valueMap = pMatrixSpec->GetObsVecMapPtr();
  if (!KVO_ASSERT_TEXT(varList != nullptr, "pMatrixSpec->GetMatrixVarListPtr() != 0") ||
      !KVO_ASSERT_TEXT(valueMap != nullptr, "pMatrixSpec->GetObsVecMapPtr() != 0"))
    return;
  fNCatVars = static_cast<int>(varList->size());
  const ObsVecMap::KeySpec& keySpecs = valueMap->GetKeySpec();
  // A key that does not cover the variables cannot be built: the layout
  // stays empty, and Recode finds nothing.
  if (KVO_ASSERT_TEXT(keySpecs.size() == static_cast<size_t>(fNCatVars), "keySpecs.size() == fNCatVars")) {
    size_t keyLength = 0;
    fvKeyCells.reserve(keySpecs.size());
    for (short type : keySpecs) {
      fvKeyCells.push_back(VORM_CellCount(type));
      keyLength += static_cast<size_t>(fvKeyCells.back());
    }
    OBS zero;
    zero.num = 0.0;
    fvKeyBuffer.assign(keyLength, zero);
    fbKeyUsable = true;
  }
  fvCaseValueReaders.reserve(varList->size());
  for (int vormInd : *varList) fvCaseValueReaders.emplace_back(iterator, vormInd, userMissingValid);
}

// Per case: allocates nothing; the key is assembled in the buffer made at
// construction.
double KVOMatrixSpecAdapter::Recode(bool& bad) {
  bad = true;
  for (KVOCaseValueReader& reader : fvCaseValueReaders) {
    if (!reader.UpdateValid()) return fMissValue;
  }
  if (!fbKeyUsable) return fMissValue;
  OBS* key = fvKeyBuffer.data();
  for (size_t i = 0; i < fvCaseValueReaders.size(); ++i) {
    const KVOCaseValueReader& reader = fvCaseValueReaders[i];
    const size_t keyCells = static_cast<size_t>(fvKeyCells[i]);
    // The case holds as many cells as the variable is wide; a key entry that
    // claims more gets the rest zero-filled rather than the next variable's.
    const size_t valueCells = std::min(keyCells, static_cast<size_t>(VORM_CellCount(reader.Type())));
    std::memcpy(key, &reader.Value(), valueCells * sizeof(OBS));
    if (valueCells < keyCells)
      std::memset(static_cast<void*>(key + valueCells), 0, (keyCells - valueCells) * sizeof(OBS));
    key += keyCells;
  }
  OBS emptyKey;
  emptyKey.num = 0.0;
  const OBS* found =
      fpMatrixSpec->GetObsVecMapPtr()->Contains(fvKeyBuffer.empty() ? &emptyKey : fvKeyBuffer.data());
  if (found == nullptr) return fMissValue;
  bad = false;
  return found->num;
}

bool KVOMatrixSpecAdapter::UpdateValid() {
  for (KVOCaseValueReader& reader : fvCaseValueReaders) {
    if (!reader.UpdateValid()) return false;
  }
  return true;
}

void KVOMatrixSpecAdapter::SetCaseValueReader(ProcDSIterator& iterator, bool userMissingValid) {
  if (fpMatrixSpec == nullptr || fpMatrixSpec->GetMatrixVarListPtr() == nullptr) return;
  const std::vector<int>& varList = *fpMatrixSpec->GetMatrixVarListPtr();
  for (size_t i = 0; i < fvCaseValueReaders.size() && i < varList.size(); ++i) {
    fvCaseValueReaders[i] = KVOCaseValueReader(iterator, varList[i], userMissingValid);
  }
}
