// The host's clocks: the C runtime's process clock in milliseconds and its
// calendar clock, each replaceable by a fake that tests move by hand.
#include <vorm/Utility.h>

#include <atomic>
#include <ctime>

#include "standin/HostControl.h"

namespace {

std::atomic<bool> gFake{false};
std::atomic<int32_t> gFakeProcessMs{0};
std::atomic<int64_t> gFakeCalendarSeconds{0};

}  // namespace

namespace standin {

void SetFakeClocks(int32_t processMs, int64_t calendarSeconds) {
  gFakeProcessMs.store(processMs);
  gFakeCalendarSeconds.store(calendarSeconds);
  gFake.store(true);
}

void AdvanceFakeClocks(int32_t processMs, int64_t calendarSeconds) {
  // The 32-bit tick count wraps like the real one.
  int32_t ms = gFakeProcessMs.load();
  while (!gFakeProcessMs.compare_exchange_weak(
      ms, static_cast<int32_t>(static_cast<uint32_t>(ms) + static_cast<uint32_t>(processMs)))) {
  }
  gFakeCalendarSeconds.fetch_add(calendarSeconds);
}

void UseRealClocks() { gFake.store(false); }

}  // namespace standin

int32_t VORM_ProcessClockMs() {
  if (gFake.load()) return gFakeProcessMs.load();
  const std::clock_t ticks = std::clock();
  if (ticks == static_cast<std::clock_t>(-1)) return -1;
  // Ticks to milliseconds without overflowing the intermediate product; the
  // result wraps to 32 bits like the host's own tick count.
  const auto t = static_cast<long long>(ticks);
  const long long perSecond = CLOCKS_PER_SEC;
  const long long ms = t / perSecond * 1000 + t % perSecond * 1000 / perSecond;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(ms)));
}

int64_t VORM_CalendarTime() {
  if (gFake.load()) return gFakeCalendarSeconds.load();
  return static_cast<int64_t>(std::time(nullptr));
}
