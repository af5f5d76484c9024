// Why a command ended before its work was done, as facts. The words the
// user reads are made from it in one place (messages.h).
#pragma once

#include <variant>

#include "image/image_fault.h"

enum class PortFaultKind {
  NotReady,   // the port did not open: nothing was switched
  Lost,       // a line switch failed midway: the lines were released
  Cancelled,  // stopped on request before an instruction: the lines were released
};

struct PortFault {
  PortFaultKind kind;
  int port;  // 1 for COM1, 2 for COM2

  friend bool operator==(const PortFault&, const PortFault&) = default;
};

using Fault = std::variant<PortFault, ImageFault>;
