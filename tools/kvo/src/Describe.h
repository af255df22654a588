// kvo describe: the dictionary of a data set (names, labels, types and
// widths, print formats, measures, value labels, user-missing values) as a
// readable table or as JSON. One thread.
#ifndef KVO_TOOL_DESCRIBE_H
#define KVO_TOOL_DESCRIBE_H

#include <vorm/Types.h>

#include <nlohmann/json.hpp>
#include <string>

#include "Options.h"
#include "standin/MemoryDataSource.h"

namespace kvo {

// A print format as text: F8.2, E10.3, A12, AHEX8.
std::string FormatText(const VORM_Format& format);

// The dictionary of `data` (loaded from `dataPath`) as JSON:
// {"file", "cases", "variables": [{"index", "name", "label", "type"
// ("numeric"|"string"), "width", "format", "measure", "valueLabels":
// [{"value", "label"}], "userMissing": {"values": [...]} | {"range": [lo,
// hi]} | {"range": [lo, hi], "value": v} | null}]}.
nlohmann::ordered_json DescribeJson(standin::MemoryDataSource& data, const std::string& dataPath);
// The same as a readable report.
std::string DescribeText(standin::MemoryDataSource& data, const std::string& dataPath);

// Runs the command: loads the data and returns what to print. Throws
// KvoError.
std::string RunDescribe(const DescribeOptions& options);

}  // namespace kvo

#endif  // KVO_TOOL_DESCRIBE_H
