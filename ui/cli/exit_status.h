// flash89-cli's exit statuses, as its help and manual page list them.
#pragma once

#include "commands/fault.h"

enum ExitStatus : int {
  kExitDone = 0,
  kExitBadFile = 1,
  kExitUsage = 2,
  kExitPortNotReady = 3,
  kExitLineLost = 4,
  kExitOutOfMemory = 5,
  kExitPortUnfit = 6,     // refused before the chip was touched
  kExitNoChip = 7,        // no AT89S8253 answered: nothing was erased
  kExitVerifyFailed = 8,  // bytes, fuses or lock bits read back differ from what was written
  // Refused by what the chip holds, before anything was written:
  kExitLockedAgainstReading = 9,
  kExitNeedsErase = 10,
  kExitUserRowWritesOff = 11,
  kExitFuseOrderDoubtful = 12,
  kExitSerialProgrammingKept = 13,  // not confirmed: touches no port
  kExitLockCannotOpen = 14,
  kExitInterrupted = 130,  // 128 + SIGINT, as a shell reports it
};

ExitStatus ExitStatusFor(const Fault& fault);
