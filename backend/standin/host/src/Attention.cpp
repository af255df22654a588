// The attention mechanism: a process-wide pending-interruption flag that the
// user (SIGINT), tests or a poll countdown set, ATNCHK reports and ATNJMP acts
// on by throwing standin::HostInterrupt, which host procedure code catches.
#include "Attention.h"

#include <vorm/Utility.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "standin/HostControl.h"

namespace {

// Stored from a signal handler: must be lock-free to be async-signal-safe.
std::atomic<bool> gPending{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Polls left before an automatic interruption; negative: never.
std::atomic<int64_t> gPollsLeft{-1};

// The object whose address is the workspace handle.
struct HostWorkspace {
  char fTag = 'W';
};
HostWorkspace gWorkspace;

extern "C" void OnInterruptSignal(int) { gPending.store(true); }

}  // namespace

namespace standin {

void RequestInterrupt() { gPending.store(true); }

void ClearInterrupt() { gPending.store(false); }

bool InterruptPending() { return gPending.load(); }

void InstallInterruptSignalHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterruptSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (sigaction(SIGINT, &action, nullptr) != 0) {
    std::perror("InstallInterruptSignalHandler: sigaction(SIGINT)");
  }
}

void InterruptAfterPolls(int64_t polls) { gPollsLeft.store(polls < 0 ? -1 : polls); }

namespace detail {

bool PollInterrupt() {
  // The poll that finds the count at 0 requests the interruption: after
  // InterruptAfterPolls(n) the first n polls pass and poll n + 1 sees it.
  int64_t left = gPollsLeft.load();
  while (left >= 0) {
    const int64_t next = left == 0 ? -1 : left - 1;
    if (gPollsLeft.compare_exchange_weak(left, next)) {
      if (left == 0) gPending.store(true);
      break;
    }
  }
  return gPending.load();
}

}  // namespace detail
}  // namespace standin

void* Workspace() { return &gWorkspace; }

void ATNCHK(int64_t* pending) {
  const bool interrupted = standin::detail::PollInterrupt();
  if (pending == nullptr) {
    std::fprintf(stderr, "ATNCHK: null result pointer\n");
    return;
  }
  *pending = interrupted ? 1 : 0;
}

void ATNJMP(void* workspace) {
  if (workspace != &gWorkspace) {
    std::fprintf(stderr, "ATNJMP: %p is not the host workspace handle\n", workspace);
  }
  if (standin::SystemField(VORM_SYS_TIMEOUT_FIELD) == -1) {
    standin::SetSystemField(VORM_SYS_TIMEOUT_FIELD, 0);
    gPending.store(false);
    throw standin::HostInterrupt{true};
  }
  if (gPending.exchange(false)) throw standin::HostInterrupt{false};
}
