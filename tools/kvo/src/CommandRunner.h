// Runs one parsed kvo command: prints its output, turns every way it can
// end (a KvoError, the host's interruption on a time-out or Ctrl-C, running
// out of memory) into the documented exit code and a one-line message, and
// passes on the messages the host procedure issued. Every object a command
// builds lives inside the command's call, so it is destroyed before the
// runner reports. The procedure's thread only.
#ifndef KVO_TOOL_COMMANDRUNNER_H
#define KVO_TOOL_COMMANDRUNNER_H

#include <ostream>

#include "Options.h"

namespace kvo {

// Returns the exit code.
int RunCommand(const ParsedCommand& command, std::ostream& out, std::ostream& err);

}  // namespace kvo

#endif  // KVO_TOOL_COMMANDRUNNER_H
