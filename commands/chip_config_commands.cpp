#include "commands/chip_config_commands.h"

#include "commands/command_plan.h"
#include "commands/memory_transfer.h"
#include "commands/port_session.h"
#include "commands/progress_meter.h"
#include "isp/chip_memories.h"
#include "isp/isp.h"

namespace {

ChipFault NotAsWritten(ChipFaultKind kind, const std::string& portName, std::uint8_t read,
                       std::uint8_t written) {
  ChipFault fault{kind, portName};
  fault.first.push_back({0, read, written});
  return fault;
}

bool TurnsSerialProgrammingOff(const std::vector<FuseChange>& changes) {
  for (const FuseChange& change : changes) {
    if (change.bit == kFuseSerialProgramming && !change.on) return true;
  }
  return false;
}

}  // namespace

std::optional<Fault> FusesCommand(const CommandRequest& request,
                                  const std::vector<FuseChange>& changes,
                                  bool mayDisableSerialProgramming, ChipState& state) {
  const std::string& portName = request.port;
  if (TurnsSerialProgrammingOff(changes) && !mayDisableSerialProgramming) {
    return ChipFault{ChipFaultKind::SerialProgrammingKept, portName};
  }
  PortSession session(portName);
  if (auto fault = session.Unusable()) return fault;
  return RunReadingChip(session, portName, [&] {
    const MisoPolarity polarity = RequireChip(portName);
    state = ReadChipState(polarity);
    if (!changes.empty()) {
      // The chip answers in serial programming: F1 must read as on.
      if ((state.fuses & kFuseSerialProgramming) != 0) {
        throw ChipFault{ChipFaultKind::FuseOrderDoubtful, portName};
      }
      std::uint8_t fuses = state.fuses;
      for (const FuseChange& change : changes) {
        fuses = change.on ? static_cast<std::uint8_t>(fuses & ~change.bit)
                          : static_cast<std::uint8_t>(fuses | change.bit);
      }
      if (fuses != state.fuses) {
        WriteUserFuses(fuses);
        state.fuses = ReadUserFuses(polarity);
        if (state.fuses != fuses) {
          throw NotAsWritten(ChipFaultKind::FusesNotAsWritten, portName, state.fuses, fuses);
        }
      }
    }
    FinishProgramming();
  });
}

void RaiseLock(int level, MisoPolarity polarity, const std::string& portName) {
  const std::uint8_t held = ReadLockBits(polarity);
  const int heldLevel = LockLevel(held);
  if (heldLevel > level) {
    ChipFault fault{ChipFaultKind::LockCannotOpen, portName};
    fault.lockLevel = heldLevel;
    throw fault;
  }
  // Bits locked out of order stay locked: only an erase opens one.
  const auto wanted = static_cast<std::uint8_t>(LockBitsFor(level) & held);
  if (wanted == held) return;
  WriteLockBits(wanted);
  const std::uint8_t read = ReadLockBits(polarity);
  if (read != wanted) throw NotAsWritten(ChipFaultKind::LockNotAsWritten, portName, read, wanted);
}

std::optional<Fault> LockCommand(const CommandRequest& request, int level, ChipState& state) {
  const std::string& portName = request.port;
  PortSession session(portName);
  if (auto fault = session.Unusable()) return fault;
  return RunReadingChip(session, portName, [&] {
    const MisoPolarity polarity = RequireChip(portName);
    RaiseLock(level, polarity, portName);
    state = ReadChipState(polarity);
    FinishProgramming();
  });
}

std::optional<Fault> WriteMemoryCommand(const CommandRequest& request, ProgressListener* progress,
                                        std::size_t& changed) {
  const std::string& portName = request.port;
  const ImageTarget target = request.target;
  Checked<CoveredBytes> image = ReadCoveredBytes(FileOf(request), target);
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  const CoveredBytes& wanted = std::get<CoveredBytes>(image);
  const ChipMemory& memory = MemoryOf(target);
  PortSession session(portName);
  if (auto fault = session.Unusable()) return fault;
  return RunReadingChip(session, portName, [&] {
    const MisoPolarity polarity = RequireChip(portName);
    CommandPlan plan = ReadBackPlan(session.Cost(), memory.size / memory.pageSize, memory);
    plan.pagesRead += PagesCovered(wanted, target);
    ProgressMeter meter(plan, progress);
    if (target == ImageTarget::UserRow) {
      if ((ReadUserFuses(polarity) & kFuseUserRowWrites) != 0) {
        throw ChipFault{ChipFaultKind::UserRowWritesOff, portName};
      }
    } else {
      RequireReadable(polarity, portName);
    }
    const std::vector<std::uint8_t> held = ReadWholeMemory(target, polarity, &meter);
    if (const std::optional<std::uint16_t> address = FirstNeedingErase(wanted, held)) {
      ChipFault fault{ChipFaultKind::NeedsErase, portName};
      fault.target = target;
      fault.address = *address;
      throw fault;
    }
    CoveredBytes differing;
    for (const auto& [address, value] : wanted) {
      if (held[address] != value) differing.emplace_back(address, value);
    }
    WriteCovered(target, differing, request.mode == WriteMode::Pages, polarity);
    changed = differing.size();
    VerifyCovered(wanted, polarity, portName, &meter, target);
    FinishProgramming();
  });
}
