#include "commands/port_session.h"

#include "commands/bit_clock_choice.h"

namespace {

std::optional<PortFaultKind> RefusalFor(LineVerdict verdict) {
  switch (verdict) {
    case LineVerdict::Fit: return std::nullopt;
    case LineVerdict::LineLost: return PortFaultKind::LineLost;
    case LineVerdict::BreakRefused: return PortFaultKind::BreakRefused;
    case LineVerdict::BreakFaked: return PortFaultKind::BreakFaked;
    case LineVerdict::BreakTooSlow: return PortFaultKind::BreakTooSlow;
  }
  return PortFaultKind::LineLost;
}

}  // namespace

PortSession::PortSession(const std::string& portName) : portName_(portName) {
  Open(ModeStringForPort(portName));
}

void PortSession::Open(const std::string& mode) {
  if (!OpenPort(mode)) {
    ClosePort();
    unusable_ = FaultOf(PortFaultKind::NotReady);
    return;
  }
  // A command cancelled before it starts switches nothing at all: Program
  // says so.
  if (!CancelRequested()) {
    if (ChooseLineDriver(mode) == LineDriverChoice::LineLost) {
      ClosePort();
      unusable_ = FaultOf(PortFaultKind::LineLost);
      return;
    }
    const LineCheck check = CheckLine();
    cost_ = check.cost;
    StartBitClock(cost_, check.exactPhases);
    if (const auto refusal = RefusalFor(check.verdict)) {
      ClosePort();
      PortFault fault = FaultOf(*refusal);
      if (*refusal != PortFaultKind::LineLost) {
        fault.driver = PortDriverName(mode);
        fault.breakSwitchMs = cost_.breakSwitchMs;
        fault.modemSwitchMs = cost_.modemSwitchMs;
      }
      unusable_ = fault;
      return;
    }
  }
  held_ = true;
}

PortSession::~PortSession() {
  if (held_) ClosePort();
}
