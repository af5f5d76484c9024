#include "commands/port_session.h"

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
  const char* mode = ModeStringFor(selectedPort);
  if (!OpenPort(mode)) {
    ClosePort();
    unusable_ = PortFault{PortFaultKind::NotReady, port_};
    return;
  }
  // A command cancelled before it starts switches nothing at all: Program
  // says so.
  if (!CancelRequested()) {
    if (ChooseLineDriver(mode) == LineDriverChoice::PortLost) {
      ClosePort();
      unusable_ = PortFault{PortFaultKind::Lost, port_};
      return;
    }
    const LineCheck check = CheckLine();
    cost_ = check.cost;
    if (const auto refusal = RefusalFor(check.verdict)) {
      ClosePort();
      unusable_ = *refusal == PortFaultKind::Lost
                      ? PortFault{*refusal, port_}
                      : PortFault{*refusal, port_, PortDriverName(mode), cost_.breakSwitchMs,
                                  cost_.modemSwitchMs};
      return;
    }
  }
  held_ = true;
}

PortSession::~PortSession() {
  if (held_) ClosePort();
}
