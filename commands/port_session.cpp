#include "commands/port_session.h"

#include "commands/bit_clock_choice.h"

namespace {

std::optional<PortFaultKind> RefusalFor(LineVerdict verdict) {
  switch (verdict) {
    case LineVerdict::Fit: return std::nullopt;
    case LineVerdict::LinesFailed: return PortFaultKind::Lost;
    case LineVerdict::BreakRefused: return PortFaultKind::BreakRefused;
    case LineVerdict::BreakFaked: return PortFaultKind::BreakFaked;
    case LineVerdict::BreakTooSlow: return PortFaultKind::BreakTooSlow;
  }
  return PortFaultKind::Lost;
}

}  // namespace

const char* ModeStringFor(int selectedPort) {
  return selectedPort == 1 ? "COM1:9600,N,8,1" : "COM2:9600,N,8,1";
}

PortSession::PortSession(int selectedPort) : port_(selectedPort == 1 ? 1 : 2) {
  Open(ModeStringFor(selectedPort));
}

PortSession::PortSession(const std::string& portName)
    : port_(portName == "COM1"   ? 1
            : portName == "COM2" ? 2
                                 : 0),
      name_(port_ == 0 ? portName : std::string()) {
  Open(port_ == 0 ? ModeStringForPort(portName) : std::string(ModeStringFor(port_)));
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
    if (ChooseLineDriver(mode) == LineDriverChoice::PortLost) {
      ClosePort();
      unusable_ = FaultOf(PortFaultKind::Lost);
      return;
    }
    const LineCheck check = CheckLine();
    cost_ = check.cost;
    StartBitClock(cost_, check.exactPhases);
    if (const auto refusal = RefusalFor(check.verdict)) {
      ClosePort();
      PortFault fault = FaultOf(*refusal);
      if (*refusal != PortFaultKind::Lost) {
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
