// kvo: the command-line reference host procedure. Everything happens in the
// command runner; this only hands it the arguments.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "Options.h"
#include "standin/HostControl.h"

int main(int argc, char** argv) {
  standin::InstallInterruptSignalHandler();
  // A file that reaches the file-size limit fails its write (and the run,
  // with a message) instead of the signal ending the program on the spot.
  std::signal(SIGXFSZ, SIG_IGN);
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return kvo::RunCommand(kvo::ParseCommandLine(args), std::cout, std::cerr);
}
