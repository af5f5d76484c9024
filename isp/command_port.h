// The frame of every command: the port that the port choice names is opened
// at the start and closed at the end, whatever happens in between.
#pragma once

#include <string>

#include "isp/isp.h"

// "COM1:9600,N,8,1" for 1, "COM2:9600,N,8,1" for anything else.
const char* ModeStringFor(int selectedPort);

// Throws PortLostError when a line switch failed since the port was opened.
void CheckPortConnected();

class CommandPort {
 public:
  // Throws PortNotReadyError ("COM2 nicht bereit") when the port does not
  // open; then nothing has been switched.
  explicit CommandPort(int selectedPort);
  ~CommandPort();
  CommandPort(const CommandPort&) = delete;
  CommandPort& operator=(const CommandPort&) = delete;

  // Runs a programming sequence. When the port is lost midway, the lines are
  // released as far as they still can be before the error goes on.
  template <class Sequence>
  void Program(Sequence&& sequence) {
    try {
      sequence();
      CheckPortConnected();
    } catch (...) {
      FinishProgramming();
      throw;
    }
  }
};
