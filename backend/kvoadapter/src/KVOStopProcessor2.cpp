#include "kvoadapter/KVOStopProcessor2.h"

#include <vorm/Utility.h>

#include <atomic>

#include "KVOStopCommon.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOStopProcessor2";

// The host workspace handle, written by every construction of this class
// (copies excepted) and passed to ATNJMP. All constructions obtain the same
// handle; the atomic only keeps concurrent constructions well defined.
std::atomic<void*> gWorkspace{nullptr};
}  // namespace

KVOStopProcessor2::KVOStopProcessor2() : KVOStopProcessor2(0.0) {}

KVOStopProcessor2::KVOStopProcessor2(double timeLimit)
    : fStartTime(VORM_CalendarTime()), fTimeLimit(timeLimit) {
  gWorkspace.store(Workspace(), std::memory_order_relaxed);
}

KVOStopProcessor2::KVOStopProcessor2(const KVOStopProcessor2& other) = default;

KVOStopProcessor2& KVOStopProcessor2::operator=(const KVOStopProcessor2& other) = default;

KVOStopProcessor2::~KVOStopProcessor2() = default;

bool KVOStopProcessor2::Expired() const {
  if (!(fTimeLimit > 0.0)) return false;
  // The calendar clock moves in whole seconds.
  const int64_t elapsed = VORM_CalendarTime() - fStartTime;
  return static_cast<double>(elapsed) >= fTimeLimit;
}

bool KVOStopProcessor2::CheckCancel() const { return kvo_detail::StopCheckCancel(Expired()); }

bool KVOStopProcessor2::GetCancel() {
  return kvo_detail::StopGetCancel(Expired(), gWorkspace.load(std::memory_order_relaxed), KVO_SOURCE);
}
