// The host's clocks: the C runtime's process clock in milliseconds, a
// monotonic elapsed clock in milliseconds since the process started, and the
// calendar clock, each replaceable by a fake that tests move by hand.
#include <vorm/Utility.h>

#include <atomic>
#include <chrono>
#include <ctime>

#include "standin/HostControl.h"

namespace {

std::atomic<bool> gFake{false};
std::atomic<int32_t> gFakeElapsedMs{0};
std::atomic<int32_t> gFakeProcessMs{0};
std::atomic<int64_t> gFakeCalendarSeconds{0};

// The start of the elapsed clock: taken as the host library is loaded, that
// is as the process starts (or at an earlier first reading by another
// library's start-up code).
std::chrono::steady_clock::time_point ProcessStart() {
  static const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  return start;
}
const std::chrono::steady_clock::time_point gStartAtLoad = ProcessStart();

// a + b on a 32-bit tick count that wraps like the real one.
int32_t WrapAdd(int32_t a, int64_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(static_cast<uint64_t>(b)));
}

void AdvanceTicks(std::atomic<int32_t>& ticks, int32_t by) {
  int32_t now = ticks.load();
  while (!ticks.compare_exchange_weak(now, WrapAdd(now, by))) {
  }
}

}  // namespace

namespace standin {

void SetFakeClocks(int32_t elapsedMs, int32_t processMs, int64_t calendarSeconds) {
  gFakeElapsedMs.store(elapsedMs);
  gFakeProcessMs.store(processMs);
  gFakeCalendarSeconds.store(calendarSeconds);
  gFake.store(true);
}

void AdvanceFakeClocks(int32_t elapsedMs, int32_t processMs, int64_t calendarSeconds) {
  AdvanceTicks(gFakeElapsedMs, elapsedMs);
  AdvanceTicks(gFakeProcessMs, processMs);
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

int32_t VORM_ElapsedClockMs() {
  if (gFake.load()) return gFakeElapsedMs.load();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                        ProcessStart());
  return WrapAdd(0, static_cast<int64_t>(ms.count()));
}

int64_t VORM_CalendarTime() {
  if (gFake.load()) return gFakeCalendarSeconds.load();
  return static_cast<int64_t>(std::time(nullptr));
}
