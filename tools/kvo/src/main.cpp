// kvo: the command-line reference host procedure. Everything happens in the
// command runner; this only hands it the arguments.
#include <iostream>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "Options.h"
#include "standin/HostControl.h"

int main(int argc, char** argv) {
  standin::InstallInterruptSignalHandler();
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return kvo::RunCommand(kvo::ParseCommandLine(args), std::cout, std::cerr);
}
