// The commands that change the chip without erasing it, where the cable
// brings MISO back to CTS: the fuses, the lock bits, and the EEPROM or the
// user row written in place. Each checks the chip first and reads back what
// it wrote. The command clock must run (StartClock).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands/chip_check.h"
#include "commands/command_request.h"
#include "commands/fault.h"
#include "commands/progress.h"

struct FuseChange {
  std::uint8_t bit;  // kFuseX2Clock, ...
  bool on;           // programmed: what the fuse stands for is enabled

  friend bool operator==(const FuseChange&, const FuseChange&) = default;
};

// Reads the fuses into state; with changes, changes only the fuses named,
// writes them and reads them back. Turning serial programming off needs
// mayDisableSerialProgramming. A chip that reads F1 as off although it
// answers has its fuses read in the wrong order: nothing is written then.
std::optional<Fault> FusesCommand(const CommandRequest& request,
                                  const std::vector<FuseChange>& changes,
                                  bool mayDisableSerialProgramming, ChipState& state);

// Locks LB1 to LB<level> and reads them back. A level only rises: a chip
// locked further already is refused, one at level stays as it is.
std::optional<Fault> LockCommand(const CommandRequest& request, int level, ChipState& state);

// The EEPROM or the user row (request.target) written from the request's
// image file without an erase: what the chip holds is read first, and only
// the bytes that differ are sent, in the request's mode, then compared. Refused before any
// write when a byte needs a 1 bit where the chip holds a 0, and for the
// user row while fuse F3 forbids writing it. changed: how many bytes were
// sent.
std::optional<Fault> WriteMemoryCommand(const CommandRequest& request, ProgressListener* progress,
                                        std::size_t& changed);

// Inside a session, with the chip checked: raises the lock to level and
// reads it back (used by the downloads' --lock as well).
void RaiseLock(int level, MisoPolarity polarity, const std::string& portName);
