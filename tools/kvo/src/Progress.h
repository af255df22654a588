// The progress bar of long passes: "cases read of the total" on one line of
// standard error, redrawn at most ten times a second. Draws nothing unless
// enabled (stderr is a terminal and --quiet was not given). One thread.
#ifndef KVO_TOOL_PROGRESS_H
#define KVO_TOOL_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kvo {

class Progress {
 public:
  // Whether a bar should be drawn: stderr is a terminal and not `quiet`.
  static bool Wanted(bool quiet);

  // Draws on `stream` when `enabled`.
  Progress(bool enabled, std::FILE* stream = stderr);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Begins a phase: `label` (e.g. "pass 1 of 2") over `total` cases.
  void Start(const std::string& label, int64_t total);
  // Reports `done` cases; cheap when nothing is to be drawn.
  void Update(int64_t done);
  // Clears the bar's line.
  void Finish();

 private:
  void Draw(int64_t done);

  bool fbEnabled;
  std::FILE* fpStream;
  std::string fLabel;
  int64_t fTotal = 0;
  bool fbShown = false;
  std::chrono::steady_clock::time_point fLastDraw;
};

}  // namespace kvo

#endif  // KVO_TOOL_PROGRESS_H
