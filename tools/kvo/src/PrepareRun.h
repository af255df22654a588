// kvo prepare, the reference host procedure: loads the data, lays out the
// record, builds the input adapter (or the partitioning adapter) and the
// data-pass iterator, lets the program's modeling component read the passes
// and write the record files, and gathers the summary. One thread; every
// library object lives on Run's stack, so leaving by an exception (a
// KvoError, or the host's interruption) destroys them all and their
// temporary files with them.
#ifndef KVO_TOOL_PREPARERUN_H
#define KVO_TOOL_PREPARERUN_H

#include "Options.h"
#include "Progress.h"
#include "Summary.h"

namespace kvo {

class PrepareRun {
 public:
  // Borrows the options and the progress bar for the run's life.
  PrepareRun(const PrepareOptions& options, Progress& progress);
  PrepareRun(const PrepareRun&) = delete;
  PrepareRun& operator=(const PrepareRun&) = delete;

  // Runs the procedure and returns its summary; writes the record files and
  // summary.json under --out. Throws KvoError (EXIT_BAD_INPUT, EXIT_USAGE,
  // EXIT_NO_VALID_CASES); a time-out or Ctrl-C leaves as
  // standin::HostInterrupt.
  Summary Run();

 private:
  const PrepareOptions* fpOptions;
  Progress* fpProgress;
};

}  // namespace kvo

#endif  // KVO_TOOL_PREPARERUN_H
