// Assertion reports of loaded libraries: logged, and passed to a handler
// that tests install, or written to stderr.
#include <vorm/Utility.h>

#include <cstdio>
#include <mutex>

#include "standin/HostControl.h"

namespace standin {
namespace {

struct AssertState {
  std::mutex fMutex;
  std::function<void(const AssertReport&)> fHandler;
  std::vector<AssertReport> fLog;
};

AssertState& State() {
  static AssertState state;
  return state;
}

}  // namespace

void SetAssertHandler(std::function<void(const AssertReport&)> handler) {
  std::lock_guard<std::mutex> lock(State().fMutex);
  State().fHandler = std::move(handler);
}

std::vector<AssertReport> AssertReports() {
  std::lock_guard<std::mutex> lock(State().fMutex);
  return State().fLog;
}

void ClearAssertReports() {
  std::lock_guard<std::mutex> lock(State().fMutex);
  State().fLog.clear();
}

}  // namespace standin

void VORM_ReportAssert(const char* condition, const char* sourceFile) {
  standin::AssertReport report{condition ? condition : "", sourceFile ? sourceFile : ""};
  std::function<void(const standin::AssertReport&)> handler;
  {
    std::lock_guard<std::mutex> lock(standin::State().fMutex);
    standin::State().fLog.push_back(report);
    handler = standin::State().fHandler;
  }
  if (handler) {
    handler(report);
  } else {
    std::fprintf(stderr, "assertion failed: %s (%s)\n", report.fCondition.c_str(), report.fSource.c_str());
  }
}
