// The progress bar of long runs on one line of standard error: for a pass,
// "cases read of the total", redrawn at most ten times a second; for a step
// whose length is not known ahead (loading the data, sorting or writing a
// record file), its name and the time it began, so that the bar never
// stands still at a percentage that is no longer true. Draws nothing unless
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

  // Begins a phase: `label` (e.g. "pass 1 of 2") over `total` cases; draws
  // it at 0 at once.
  void Start(const std::string& label, int64_t total);
  // Reports `done` cases; cheap when nothing is to be drawn.
  void Update(int64_t done);
  // Shows a step of unknown length (e.g. "sorting out/all/training.csv") at
  // once; the pass's bar comes back with its next Update.
  void Step(const std::string& label);
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
  std::chrono::steady_clock::time_point fStart = std::chrono::steady_clock::now();
};

}  // namespace kvo

#endif  // KVO_TOOL_PROGRESS_H
