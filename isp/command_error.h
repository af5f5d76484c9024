// Failures that end a command, each carrying the text the user will read.
#pragma once

#include <stdexcept>
#include <string>

class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The chosen port did not open: nothing was done.
class PortNotReadyError : public CommandError {
 public:
  using CommandError::CommandError;
};

// A line switch failed in the middle of a command: the port went away.
class PortLostError : public CommandError {
 public:
  using CommandError::CommandError;
};
