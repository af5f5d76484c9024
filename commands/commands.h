// The window's three commands, without a window: the port that
// selectedPort names (1 or 2), the log, and a way to ask for the file.
// Each returns why it stopped short, or nothing when its work was done or
// the user cancelled. Each first checks that the port can carry the
// waveform (CheckLine) and refuses one that cannot before the chip is
// touched. A listener, when given, hears how far it has got, from inside
// the command's long waits. The command clock must run (StartCommandClock).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "commands/fault.h"
#include "commands/log_lines.h"
#include "commands/progress.h"
#include "isp/readback.h"

// The chosen file's name; empty when the user cancelled.
using FileNameRequest = std::function<std::string()>;

std::optional<Fault> EraseCommand(int selectedPort, ProgressListener* progress = nullptr);

// A bad file is refused before the chip is touched.
std::optional<Fault> FlashHexCommand(int selectedPort, LogLines& log,
                                     const FileNameRequest& chooseFile,
                                     ProgressListener* progress = nullptr);
std::optional<Fault> FlashBinCommand(int selectedPort, LogLines& log,
                                     const FileNameRequest& chooseFile,
                                     ProgressListener* progress = nullptr);

// The same downloads in page mode: each page the image touches is written
// whole in one instruction, the log the same as in byte mode. With a
// polarity (a line back whose polarity is known) each page's write cycle
// is polled instead of waited out blind.
std::optional<Fault> FlashHexPagesCommand(int selectedPort, LogLines& log,
                                          const FileNameRequest& chooseFile,
                                          ProgressListener* progress = nullptr,
                                          std::optional<CtsPolarity> poll = std::nullopt);
std::optional<Fault> FlashBinPagesCommand(int selectedPort, LogLines& log,
                                          const FileNameRequest& chooseFile,
                                          ProgressListener* progress = nullptr,
                                          std::optional<CtsPolarity> poll = std::nullopt);
