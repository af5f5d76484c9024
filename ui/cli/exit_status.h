// flash89-cli's exit statuses, as its help and manual page list them.
#pragma once

#include "commands/fault.h"

enum ExitStatus : int {
  kExitDone = 0,
  kExitBadFile = 1,
  kExitUsage = 2,
  kExitPortNotReady = 3,
  kExitPortLost = 4,
  kExitOutOfMemory = 5,
  kExitPortUnfit = 6,      // refused before the chip was touched
  kExitNoChip = 7,         // no AT89S8253 answered: nothing was erased
  kExitVerifyFailed = 8,   // bytes read back differ from the image
  kExitInterrupted = 130,  // 128 + SIGINT, as a shell reports it
};

ExitStatus ExitStatusFor(const Fault& fault);
