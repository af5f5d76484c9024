// The "Flash hex" and "Flash bin" commands, without the window: the port
// that selectedPort names, the log, and a way to ask for the file's name.
#pragma once

#include <functional>
#include <string>

#include "image/log_lines.h"

// Returns the chosen file's name; empty when the user cancelled.
using FileNameRequest = std::function<std::string()>;

// Both throw a CommandError with the user's text. A bad file is refused
// before the chip is touched; a cancelled request ends the command silently.
void FlashHexCommand(int selectedPort, LogLines& log, const FileNameRequest& chooseFile);
void FlashBinCommand(int selectedPort, LogLines& log, const FileNameRequest& chooseFile);
