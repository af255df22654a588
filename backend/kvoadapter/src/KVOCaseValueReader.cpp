// Construction, the choice of the user-missing test and the value
// comparisons of the case value reader. The accessors and the validity rule
// are inline in the header: they run for every variable of every case.
#include "kvoadapter/KVOCaseValueReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

KVOCaseValueReader::KVOCaseValueReader(VORM_InputCaseIterator& iterator, int vormInd, bool userMissValid)
    : fCaseValue(iterator, static_cast<unsigned int>(vormInd)),
      fbUserMissValid(userMissValid),
      fbUpdateValid(false),
      fMissingTest(ONE_NUMBER),
      fMissing{sysmis(), std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()},
      fMissingLow(std::numeric_limits<double>::quiet_NaN()),
      fMissingHigh(std::numeric_limits<double>::quiet_NaN()) {
  TakeMissingValues();
}

// One host call per reader: the declaration as a code and up to three cells.
// Numbers are kept for the inline test; a string with user-missing values,
// or a declaration whose code or cells are not of a known form, leaves the
// judgement to the host for every value.
void KVOCaseValueReader::TakeMissingValues() {
  const OBS* m[3] = {nullptr, nullptr, nullptr};
  const int code = Variable().GetMissingValues(m[0], m[1], m[2]);
  if (code == VORM_MISSING_NONE) {
    if (Type() != 0) fMissingTest = NEVER;
    return;  // numbers: only the system-missing value, already in fMissing[0]
  }
  fMissingTest = ASK_HOST;
  if (Type() != 0) return;
  if (code >= 1 && code <= 3) {
    for (int i = 0; i < code; ++i) {
      if (m[i] == nullptr) return;
      fMissing[i] = m[i]->num;
    }
    fMissingTest = code == 1 ? ONE_NUMBER : NUMBERS;
    return;
  }
  if (code == VORM_MISSING_RANGE || code == VORM_MISSING_RANGE_AND_ONE) {
    if (m[0] == nullptr || m[1] == nullptr) return;
    if (code == VORM_MISSING_RANGE_AND_ONE) {
      if (m[2] == nullptr) return;
      fMissing[0] = m[2]->num;
    } else {
      fMissing[0] = std::numeric_limits<double>::quiet_NaN();
    }
    fMissingLow = m[0]->num;
    fMissingHigh = m[1]->num;
    fMissingTest = NUMBERS;
  }
}

namespace {

// The bytes of a reader's current value, starting at its first cell.
const unsigned char* Bytes(const KVOCaseValueReader& reader) {
  return reinterpret_cast<const unsigned char*>(&reader.Value());
}

}  // namespace

// Numbers compare as doubles (IEEE: NaN equals nothing, -0.0 equals 0.0).
// Strings are equal only when both are as wide and byte for byte the same:
// no trimming, case counts. A number never equals a string.
bool KVOCaseValueReader::operator==(const KVOCaseValueReader& other) const {
  const short type = Type();
  const short otherType = other.Type();
  if (type == 0 && otherType == 0) return Value().num == other.Value().num;
  if (type == 0 || otherType == 0) return false;
  if (type != otherType) return false;
  return std::memcmp(Bytes(*this), Bytes(other), static_cast<size_t>(type)) == 0;
}

// Numbers in IEEE order (false when either is NaN). Strings byte by byte as
// unsigned values over the shorter width; when that common part is the same,
// the shorter value comes first. A number and a string are not ordered.
bool KVOCaseValueReader::operator<(const KVOCaseValueReader& other) const {
  const short type = Type();
  const short otherType = other.Type();
  if (type == 0 && otherType == 0) return Value().num < other.Value().num;
  if (type == 0 || otherType == 0) return false;
  const size_t common = static_cast<size_t>(std::min(type, otherType));
  const int order = std::memcmp(Bytes(*this), Bytes(other), common);
  if (order != 0) return order < 0;
  return type < otherType;
}
