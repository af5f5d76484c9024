#include <iostream>
#include <string>
#include <vector>

#include "ui/cli/cli_program.h"
#include "ui/cli/console.h"
#include "ui/cli/exit_status.h"

int main(int argc, char* argv[]) {
  PrepareConsoleOutput();
  InstallInterruptHandler();
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const int status =
      RunCli(arguments, {std::cout, std::cerr, ErrorStreamIsTerminal(), OutputStreamIsTerminal()});
  std::cout.flush();
  std::cerr.flush();
  if (status == kExitInterrupted) EndAsInterrupted();
  return status;
}
