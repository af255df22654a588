// The host's attention (interrupt) mechanism: a process-wide pending flag
// that RequestInterrupt sets (safe from a signal handler), ATNCHK reads and
// ATNJMP turns into a HostInterrupt exception, plus an optional countdown
// that raises the flag after a given number of polls.
#include <vorm/Utility.h>

#include <atomic>

#include "standin/HostControl.h"

namespace {

std::atomic<bool> gPending{false};
std::atomic<int64_t> gPollsLeft{-1};  // -1: no countdown
int gWorkspace = 0;                   // its address is the workspace handle

}  // namespace

namespace standin {

void RequestInterrupt() { gPending.store(true); }
void ClearInterrupt() { gPending.store(false); }
bool InterruptPending() { return gPending.load(); }
void InterruptAfterPolls(int64_t polls) { gPollsLeft.store(polls < 0 ? -1 : polls); }

}  // namespace standin

void* Workspace() { return &gWorkspace; }

void ATNCHK(int64_t* pending) {
  int64_t left = gPollsLeft.load();
  while (left >= 0) {
    if (gPollsLeft.compare_exchange_weak(left, left - 1)) {
      if (left == 0) {  // the countdown ran out with this poll: fire once
        gPollsLeft.store(-1);
        gPending.store(true);
      }
      break;
    }
  }
  if (pending != nullptr) *pending = gPending.load() ? 1 : 0;
}

// Leaves by throwing when an interruption is pending or a time-out was
// marked in the system area; the flag and the mark are consumed.
void ATNJMP(void* /*workspace*/) {
  const bool timeOut = standin::SystemField(VORM_SYS_TIMEOUT_FIELD) == -1;
  const bool pending = gPending.exchange(false);
  if (!pending && !timeOut) return;
  if (timeOut) standin::SetSystemField(VORM_SYS_TIMEOUT_FIELD, 0);
  throw standin::HostInterrupt{timeOut};
}
