// Why a command ended before its work was done, as facts. The words the
// user reads are made from it in one place (messages.h).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "image/image_fault.h"

enum class PortFaultKind {
  NotReady,   // the port did not open: nothing was switched
  Lost,       // a line switch failed: the lines were released
  Cancelled,  // stopped on request before an instruction: the lines were released
  // The port cannot hold TXD in break, found before the chip was reset:
  BreakFaked,    // the driver sends a character instead, and TXD soon idles
  BreakTooSlow,  // a break switch takes far longer than a DTR or RTS switch
  BreakRefused,  // the driver refuses the break
  // A polled page did not read back as written in time: the lines were
  // released, the chip may be partly written.
  PageNotWritten,
};

struct PortFault {
  PortFaultKind kind;
  int port;  // 1 for COM1, 2 for COM2
  // For a refused break: the port's driver where the platform names it
  // ("ch341"), and what a switch took when the port was checked.
  std::string driver = {};
  double breakSwitchMs = 0;
  double modemSwitchMs = 0;
  // For a page not written: the cell that was polled.
  std::uint16_t address = 0;

  friend bool operator==(const PortFault&, const PortFault&) = default;
};

using Fault = std::variant<PortFault, ImageFault>;
