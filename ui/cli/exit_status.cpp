#include "ui/cli/exit_status.h"

ExitStatus ExitStatusFor(const Fault& fault) {
  if (const auto* chip = std::get_if<ChipFault>(&fault)) {
    switch (chip->kind) {
      case ChipFaultKind::NoAnswer:
      case ChipFaultKind::OtherChip:
      case ChipFaultKind::NoMisoLine: return kExitNoChip;
      case ChipFaultKind::Mismatch:
      case ChipFaultKind::FusesNotAsWritten:
      case ChipFaultKind::LockNotAsWritten:
      case ChipFaultKind::NotErased: return kExitVerifyFailed;
      case ChipFaultKind::LockedAgainstReading: return kExitLockedAgainstReading;
      case ChipFaultKind::NeedsErase: return kExitNeedsErase;
      case ChipFaultKind::UserRowWritesOff: return kExitUserRowWritesOff;
      case ChipFaultKind::FuseOrderDoubtful: return kExitFuseOrderDoubtful;
      case ChipFaultKind::SerialProgrammingKept: return kExitSerialProgrammingKept;
      case ChipFaultKind::LockCannotOpen: return kExitLockCannotOpen;
    }
    return kExitNoChip;
  }
  const auto* port = std::get_if<PortFault>(&fault);
  if (port == nullptr) return kExitBadFile;
  switch (port->kind) {
    case PortFaultKind::NotReady: return kExitPortNotReady;
    case PortFaultKind::LineLost:
    case PortFaultKind::PageNotWritten: return kExitLineLost;
    case PortFaultKind::Cancelled: return kExitInterrupted;
    case PortFaultKind::BreakFaked:
    case PortFaultKind::BreakTooSlow:
    case PortFaultKind::BreakRefused: return kExitPortUnfit;
  }
  return kExitLineLost;
}
