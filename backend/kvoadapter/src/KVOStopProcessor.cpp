#include "kvoadapter/KVOStopProcessor.h"

#include <vorm/Utility.h>

#include <atomic>

#include "KVOStopCommon.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOStopProcessor";

// The host workspace handle, written by every construction of this class
// (copies excepted) and passed to ATNJMP. All constructions obtain the same
// handle; the atomic only keeps concurrent constructions well defined.
std::atomic<void*> gWorkspace{nullptr};
}  // namespace

KVOStopProcessor::KVOStopProcessor() : KVOStopProcessor(0.0) {}

KVOStopProcessor::KVOStopProcessor(double timeLimit)
    : fStartTime(VORM_ElapsedClockMs()), fTimeLimit(timeLimit) {
  gWorkspace.store(Workspace(), std::memory_order_relaxed);
}

KVOStopProcessor::KVOStopProcessor(const KVOStopProcessor& other) = default;

KVOStopProcessor& KVOStopProcessor::operator=(const KVOStopProcessor& other) = default;

KVOStopProcessor::~KVOStopProcessor() = default;

bool KVOStopProcessor::Expired() const {
  if (!(fTimeLimit > 0.0)) return false;
  // Elapsed (wall) time, not processor time: waiting counts, and several
  // threads do not make the limit run out sooner. A 32-bit tick difference,
  // right across the wrap of the host's tick count.
  const auto elapsedMs =
      static_cast<int32_t>(static_cast<uint32_t>(VORM_ElapsedClockMs()) - static_cast<uint32_t>(fStartTime));
  return static_cast<double>(elapsedMs) / 1000.0 >= fTimeLimit;
}

bool KVOStopProcessor::CheckCancel() const { return kvo_detail::StopCheckCancel(Expired()); }

bool KVOStopProcessor::GetCancel() {
  return kvo_detail::StopGetCancel(Expired(), gWorkspace.load(std::memory_order_relaxed), KVO_SOURCE);
}
