// Construction and the value comparisons of the case value reader. The
// accessors and the validity rule are inline in the header: they run for
// every variable of every case.
#include "kvoadapter/KVOCaseValueReader.h"

#include <algorithm>
#include <cstring>

KVOCaseValueReader::KVOCaseValueReader(VORM_InputCaseIterator& iterator, int vormInd, bool userMissValid)
    : fCaseValue(iterator, static_cast<unsigned int>(vormInd)),
      fbUserMissValid(userMissValid),
      fbUpdateValid(false) {}

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
