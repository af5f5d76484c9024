// flash89-cli: the window's three commands and a check of an image, run
// from a command line through the same command bodies as the window.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "ui/cli/cli_output.h"

struct CliConsole {
  std::ostream& out;  // --help, --version, the check's result, the log
  std::ostream& err;  // messages and progress
  bool errIsTerminal = false;
  bool outIsTerminal = false;
  CliOutput::Clock clock = CliOutput::SteadyClockMs;  // paces the progress line
};

// The arguments after the program's name; returns the exit status
// (exit_status.h). Cancelled by RequestCancel, from a signal handler say.
int RunCli(const std::vector<std::string>& arguments, const CliConsole& console);
