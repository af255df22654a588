#include "Progress.h"

#include <unistd.h>

#include <algorithm>

#include "TextTable.h"

namespace kvo {

bool Progress::Wanted(bool quiet) { return !quiet && isatty(STDERR_FILENO) == 1; }

Progress::Progress(bool enabled, std::FILE* stream) : fbEnabled(enabled), fpStream(stream) {}

Progress::~Progress() { Finish(); }

void Progress::Start(const std::string& label, int64_t total) {
  fLabel = label;
  fTotal = total;
  fLastDraw = std::chrono::steady_clock::now();
  // The new phase replaces whatever the line showed before.
  if (fbEnabled) Draw(0);
}

void Progress::Update(int64_t done) {
  if (!fbEnabled) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - fLastDraw < std::chrono::milliseconds(100)) return;
  fLastDraw = now;
  Draw(done);
}

void Progress::Step(const std::string& label) {
  if (!fbEnabled) return;
  const auto now = std::chrono::steady_clock::now();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - fStart).count();
  std::fprintf(fpStream, "\r%s ... (at %llds)\033[K", label.c_str(), static_cast<long long>(seconds));
  std::fflush(fpStream);
  fbShown = true;
  // The pass's bar is drawn again on the next Update.
  fLastDraw = now - std::chrono::milliseconds(100);
}

void Progress::Draw(int64_t done) {
  constexpr int WIDTH = 30;
  const double fraction =
      fTotal > 0 ? std::clamp(static_cast<double>(done) / static_cast<double>(fTotal), 0.0, 1.0) : 0.0;
  const int filled = static_cast<int>(fraction * WIDTH);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(WIDTH - filled), '.');
  std::fprintf(fpStream, "\r%s [%s] %3d%%  %s of %s cases\033[K", fLabel.c_str(), bar.c_str(),
               static_cast<int>(fraction * 100.0), GroupDigits(done).c_str(), GroupDigits(fTotal).c_str());
  std::fflush(fpStream);
  fbShown = true;
}

void Progress::Finish() {
  if (!fbShown) return;
  std::fprintf(fpStream, "\r\033[K");
  std::fflush(fpStream);
  fbShown = false;
}

}  // namespace kvo
