// The --out directory of kvo prepare, written whole or not at all: the run
// writes into a new staging directory beside it, and only a run that
// succeeded renames that into place (replacing an earlier kvo output
// directory there). A run that fails or is interrupted leaves --out as it
// was and nothing beside it. One thread.
#ifndef KVO_TOOL_OUTPUTDIRECTORY_H
#define KVO_TOOL_OUTPUTDIRECTORY_H

#include <string>

namespace kvo {

class OutputDirectory {
 public:
  // Checks `target` and creates the staging directory beside it (and any
  // missing parent of both). Throws a usage error when `target` is a file
  // or a directory that holds anything but an earlier kvo output (its
  // summary.json, all/ and split-K/ with their record files, and the HTML
  // reports written beside the summary); an input
  // error when the staging directory cannot be created.
  explicit OutputDirectory(const std::string& target);
  // Removes the staging directory and everything in it unless committed.
  ~OutputDirectory();
  OutputDirectory(const OutputDirectory&) = delete;
  OutputDirectory& operator=(const OutputDirectory&) = delete;

  // Where the run writes its files.
  const std::string& Staging() const { return fStaging; }
  // Puts the staging directory in the place of the target. Throws an input
  // error (and leaves the target as it was) when that cannot be done.
  void Commit();

  // Whether `directory` holds only what kvo prepare writes (or nothing).
  static bool IsKvoOutput(const std::string& directory);

 private:
  std::string fTarget;
  std::string fStaging;
  bool fbCommitted = false;
};

}  // namespace kvo

#endif  // KVO_TOOL_OUTPUTDIRECTORY_H
