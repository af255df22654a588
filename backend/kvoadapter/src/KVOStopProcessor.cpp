#include "kvoadapter/KVOStopProcessor.h"

#include <vorm/ProcOutput.h>
#include <vorm/Utility.h>

#include <atomic>

#include "KVOAssert.h"
#include "KVOModule.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOStopProcessor";

// The host workspace handle, written by every construction of this class
// (copies excepted) and passed to ATNJMP. All constructions obtain the same
// handle; the atomic only keeps concurrent constructions well defined.
std::atomic<void*> gWorkspace{nullptr};
}  // namespace

KVOStopProcessor::KVOStopProcessor() : KVOStopProcessor(0.0) {}

KVOStopProcessor::KVOStopProcessor(double timeLimit)
    : fStartTime(VORM_ProcessClockMs()), fTimeLimit(timeLimit) {
  gWorkspace.store(Workspace(), std::memory_order_relaxed);
}

KVOStopProcessor::KVOStopProcessor(const KVOStopProcessor& other) = default;

KVOStopProcessor& KVOStopProcessor::operator=(const KVOStopProcessor& other) = default;

KVOStopProcessor::~KVOStopProcessor() = default;

bool KVOStopProcessor::Expired() const {
  if (!(fTimeLimit > 0.0)) return false;
  // 32-bit tick difference, wrapping like the host's tick count.
  const auto elapsedMs =
      static_cast<int32_t>(static_cast<uint32_t>(VORM_ProcessClockMs()) - static_cast<uint32_t>(fStartTime));
  return static_cast<double>(elapsedMs) / 1000.0 >= fTimeLimit;
}

bool KVOStopProcessor::CheckCancel() const {
  if (Expired()) return true;
  int64_t pending = 0;
  ATNCHK(&pending);
  return pending != 0;
}

bool KVOStopProcessor::GetCancel() {
  const bool expired = Expired();
  if (expired) {
    BpError(BpString("Time out termination ...", true), BpShowFull, BpLevelError);
    int64_t* timeOut = kvo_detail::SystemField(VORM_SYS_TIMEOUT_FIELD);
    if (KVO_ASSERT_TEXT(timeOut != nullptr, "pvGetCmnSys() != 0")) *timeOut = -1;
  }
  // Leaves for the host's interruption handling after a time-out or when the
  // user asked to interrupt.
  ATNJMP(gWorkspace.load(std::memory_order_relaxed));
  return expired;
}
