// The window's commands, without a window: erase, and the download of an
// Intel HEX or binary image. Each returns why it stopped short, or nothing
// when its work was done or the user cancelled. Each first checks that the
// port can carry the waveform (CheckLine) and refuses one that cannot
// before the chip is touched. A listener, when given, hears how far it has
// got, from inside the command's long waits. The clock must run
// (StartClock).
#pragma once

#include <optional>

#include "commands/command_request.h"
#include "commands/fault.h"
#include "commands/log_lines.h"
#include "commands/progress.h"

std::optional<Fault> EraseCommand(const CommandRequest& request,
                                  ProgressListener* progress = nullptr);

// The chip erased and the image of request.format written, logged as the
// window logs it; the same log in page mode. A bad file is refused before
// the chip is touched. The extras (EEPROM, lock) need no line back to write
// an EEPROM image; to keep the EEPROM or to lock the chip they do. In byte
// mode without verify and extras: the window's waveform.
std::optional<Fault> DownloadCommand(const CommandRequest& request, LogLines& log,
                                     ProgressListener* progress = nullptr);
