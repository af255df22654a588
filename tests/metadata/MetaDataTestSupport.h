// Helpers of the variable-list metadata tests: the first data pass read to
// its end as a component reads it, and the assertion reports of the builder.
#ifndef KVO_TESTS_METADATA_METADATATESTSUPPORT_H
#define KVO_TESTS_METADATA_METADATATESTSUPPORT_H

#include <kvoadapter/KVOProcDataSourceIter.h>

#include <string>
#include <vector>

#include "support/HostLog.h"

namespace metadata_test {

inline const std::string METADATA_SOURCE = "backend/kvoadapter/KVOVarListMetaData";

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
inline std::vector<std::string> MetaDataAsserts() { return kvotest::AssertsFrom(METADATA_SOURCE); }

}  // namespace metadata_test

#endif  // KVO_TESTS_METADATA_METADATATESTSUPPORT_H
