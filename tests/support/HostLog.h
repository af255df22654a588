// What the stand-in host logs, for tests: a quiet host whose messages and
// assertion reports are logged rather than echoed, the conditions reported by
// one source, and a procedure that counts split-group changes. Header only;
// one thread.
#ifndef KVO_TESTS_SUPPORT_HOSTLOG_H
#define KVO_TESTS_SUPPORT_HOSTLOG_H

#include <vorm/ProcOutput.h>

#include <string>
#include <vector>

#include "standin/HostControl.h"

namespace kvotest {

// Silences the echo of messages and assertion reports, clears both logs and
// sets the host encoding; restores the defaults when it goes. Owns nothing.
class QuietHost {
 public:
  explicit QuietHost(const std::string& encoding = "UTF-8") {
    standin::SetEchoMessages(false);
    standin::SetAssertHandler([](const standin::AssertReport&) {});
    standin::ClearMessages();
    standin::ClearAssertReports();
    standin::SetHostEncoding(encoding);
  }
  ~QuietHost() {
    standin::SetHostEncoding("UTF-8");
    standin::SetAssertHandler({});
    standin::SetEchoMessages(true);
  }
  QuietHost(const QuietHost&) = delete;
  QuietHost& operator=(const QuietHost&) = delete;
};

// The conditions reported so far by one source (a class name or a path).
inline std::vector<std::string> AssertsFrom(const std::string& source) {
  std::vector<std::string> conditions;
  for (const standin::AssertReport& report : standin::AssertReports()) {
    if (report.fSource == source) conditions.push_back(report.fCondition);
  }
  return conditions;
}

// A procedure that counts the split-group changes it is told of.
class CountingProcedure : public BpProcedure {
 public:
  void SplitChange() override { ++fNChanges; }
  int fNChanges = 0;
};

}  // namespace kvotest

#endif  // KVO_TESTS_SUPPORT_HOSTLOG_H
