#include "KVOAssert.h"

#include <vorm/Utility.h>

namespace kvo_detail {

bool AssertFailed(const char* condition, const char* source) {
  VORM_ReportAssert(condition, source);
  return false;
}

}  // namespace kvo_detail
