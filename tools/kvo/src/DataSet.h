// Loading the CSV file and its schema into the stand-in host's data source,
// and finding variables by the names given on the command line. Used by the
// command's thread; the resolver borrows the data source.
#ifndef KVO_TOOL_DATASET_H
#define KVO_TOOL_DATASET_H

#include <memory>
#include <string>

#include "Options.h"
#include "standin/MemoryDataSource.h"

namespace kvo {

// Loads the data set (from standard input for the path "-"). Throws
// KvoError: EXIT_USAGE when no schema was given and none lies beside the
// data, EXIT_BAD_INPUT for a file that cannot be read or does not fit its
// schema (the message names file, line, column).
std::unique_ptr<standin::MemoryDataSource> LoadDataSet(const LoadOptions& options);

// Finds variables by name (without regard to letter case) for the options
// of one command.
class VariableResolver {
 public:
  // REQUIRES: dataSource outlives the resolver. `dataName` names the data
  // in messages.
  VariableResolver(const VORM_DataSource& dataSource, std::string dataName);
  VariableResolver(const VariableResolver&) = delete;
  VariableResolver& operator=(const VariableResolver&) = delete;

  // The host index of `name`, or -1. A name that matches only once its
  // surrounding blanks are dropped also counts.
  int Find(const std::string& name) const;
  // The host index of `name`; throws a usage error naming `option` (and the
  // closest known name, when one is close) when there is no such variable.
  int Resolve(const std::string& option, const std::string& name) const;
  // The variable's name as the dictionary spells it.
  std::string Name(int index) const;
  bool IsString(int index) const;
  const VORM_DataSource& DataSource() const { return *fpDataSource; }

 private:
  std::string ClosestName(const std::string& name) const;

  const VORM_DataSource* fpDataSource;
  std::string fDataName;
};

}  // namespace kvo

#endif  // KVO_TOOL_DATASET_H
