// Helpers of the variable-list metadata tests: a quiet host whose assertion
// reports are logged rather than echoed, the first data pass read to its end
// as a component reads it, and the reports of the metadata builder.
#ifndef KVO_TESTS_METADATA_METADATATESTSUPPORT_H
#define KVO_TESTS_METADATA_METADATATESTSUPPORT_H

#include <kvoadapter/KVOProcDataSourceIter.h>
#include <standin/HostControl.h>

#include <string>
#include <vector>

namespace metadata_test {

inline const std::string METADATA_SOURCE = "backend/kvoadapter/KVOVarListMetaData";

// Silences the echo of messages and assertion reports, clears both logs and
// sets the host encoding; restores the defaults when it goes.
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

// Pulls every record of the adapter's first pass, so that its categorical
// adapters hold the categories and its continuous adapters the ranges.
inline int ReadFirstPass(KVOInputAdapter& adapter) {
  KVOProcDataSourceIter iter(adapter, true);
  int records = 0;
  while (iter.HasMore() && iter.Next() != nullptr) ++records;
  return records;
}

// The conditions reported so far by any source, as "condition (source)".
inline std::vector<std::string> AllAsserts() {
  std::vector<std::string> reports;
  for (const standin::AssertReport& report : standin::AssertReports())
    reports.push_back(report.fCondition + " (" + report.fSource + ")");
  return reports;
}

// The conditions reported so far by the metadata builder.
inline std::vector<std::string> MetaDataAsserts() {
  std::vector<std::string> conditions;
  for (const standin::AssertReport& report : standin::AssertReports()) {
    if (report.fSource == METADATA_SOURCE) conditions.push_back(report.fCondition);
  }
  return conditions;
}

}  // namespace metadata_test

#endif  // KVO_TESTS_METADATA_METADATATESTSUPPORT_H
