// kvo score: applies a transformation model to every case through the
// library's transform scorer and writes a CSV file: the case number, then
// one column per target; a missing target is an empty cell. User-missing
// numbers reach the model as missing unless --user-missing include. One
// thread.
#ifndef KVO_TOOL_SCORE_H
#define KVO_TOOL_SCORE_H

#include <ostream>

#include "Options.h"
#include "Progress.h"

namespace kvo {

// Runs the command, writing the CSV to --output or to `standardOutput`.
// Throws KvoError (EXIT_BAD_INPUT for bad data or a bad model, naming the
// model's place or the input at fault; EXIT_USAGE for an unknown target); a
// Ctrl-C leaves as standin::HostInterrupt. A partly written --output file
// is removed.
void RunScore(const ScoreOptions& options, Progress& progress, std::ostream& standardOutput);

// A CSV field: quoted when it holds the delimiter, a quote or a line end.
std::string CsvField(const std::string& text, char delimiter = ',');

}  // namespace kvo

#endif  // KVO_TOOL_SCORE_H
