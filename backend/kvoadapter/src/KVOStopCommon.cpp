#include "KVOStopCommon.h"

#include <vorm/ProcOutput.h>
#include <vorm/Utility.h>

#include "KVOAssert.h"
#include "KVOModule.h"

namespace kvo_detail {

bool StopCheckCancel(bool expired) {
  if (expired) return true;
  int64_t pending = 0;
  ATNCHK(&pending);
  return pending != 0;
}

bool StopGetCancel(bool expired, void* workspace, const char* source) {
  if (expired) {
    BpError(BpString("Time out termination ...", true), BpShowFull, BpLevelError);
    int64_t* timeOut = SystemField(VORM_SYS_TIMEOUT_FIELD);
    const char* KVO_SOURCE = source;
    if (KVO_ASSERT_TEXT(timeOut != nullptr, "pvGetCmnSys() != 0")) *timeOut = -1;
  }
  ATNJMP(workspace);
  return expired;
}

}  // namespace kvo_detail
