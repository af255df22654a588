// The host's shared common areas. Only the system area has content that the
// stand-in reads; the others are zeroed blocks so every accessor gives a
// distinct, valid address.
#include <vorm/Utility.h>

#include <cstring>

#include "standin/HostControl.h"

namespace {

constexpr size_t AREA_BYTES = 1024;

struct CommonAreas {
  alignas(8) unsigned char fAreas[22][AREA_BYTES] = {};
};

CommonAreas& Areas() {
  static CommonAreas areas;
  return areas;
}

void* Area(int i) { return Areas().fAreas[i]; }

}  // namespace

void* pvGetCmnBpr() { return Area(0); }
void* pvGetCmaDic() { return Area(1); }
void* pvGetCmaGlb() { return Area(2); }
void* pvGetCmaMch() { return Area(3); }
void* pvGetCmaObv() { return Area(4); }
void* pvGetCmaSym() { return Area(5); }
void* pvGetCmaSys() { return Area(6); }
void* pvGetCmnDic() { return Area(7); }
void* pvGetCmnDmo() { return Area(8); }
void* pvGetCmnGlb() { return Area(9); }
void* pvGetCmnInc() { return Area(10); }
void* pvGetCmnIo() { return Area(11); }
void* pvGetCmnLoc() { return Area(12); }
void* pvGetCmnMch() { return Area(13); }
void* pvGetCmnMcs() { return Area(14); }
void* pvGetCmnObv() { return Area(15); }
void* pvGetCmnStk() { return Area(16); }
void* pvGetCmnSym() { return Area(17); }
void* pvGetCmnSys() { return Area(18); }
void* pvGetCmnWrk() { return Area(19); }
void* pvGetCmnDtm() { return Area(20); }
void* pvGetCmnBox() { return Area(21); }

namespace standin {

int64_t SystemField(size_t offset) {
  int64_t value = 0;
  if (offset + sizeof value <= AREA_BYTES) std::memcpy(&value, Areas().fAreas[18] + offset, sizeof value);
  return value;
}

void SetSystemField(size_t offset, int64_t value) {
  if (offset + sizeof value <= AREA_BYTES) std::memcpy(Areas().fAreas[18] + offset, &value, sizeof value);
}

}  // namespace standin
