#include "ui/cli/exit_status.h"

ExitStatus ExitStatusFor(const Fault& fault) {
  if (const auto* chip = std::get_if<ChipFault>(&fault)) {
    return chip->kind == ChipFaultKind::Mismatch ? kExitVerifyFailed : kExitNoChip;
  }
  const auto* port = std::get_if<PortFault>(&fault);
  if (port == nullptr) return kExitBadFile;
  switch (port->kind) {
    case PortFaultKind::NotReady: return kExitPortNotReady;
    case PortFaultKind::Lost:
    case PortFaultKind::PageNotWritten: return kExitPortLost;
    case PortFaultKind::Cancelled: return kExitInterrupted;
    case PortFaultKind::BreakFaked:
    case PortFaultKind::BreakTooSlow:
    case PortFaultKind::BreakRefused: return kExitPortUnfit;
  }
  return kExitPortLost;
}
