// The window's three commands, without a window: the port as the user
// named it ("COM2", "COM12", "/dev/ttyUSB0"), the log, and a way to ask for the file.
// Each returns why it stopped short, or nothing when its work was done or
// the user cancelled. Each first checks that the port can carry the
// waveform (CheckLine) and refuses one that cannot before the chip is
// touched. A listener, when given, hears how far it has got, from inside
// the command's long waits. The command clock must run (StartCommandClock).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "commands/chip_extras.h"
#include "commands/fault.h"
#include "commands/log_lines.h"
#include "commands/progress.h"
#include "isp/readback.h"

// The chosen file's name; empty when the user cancelled.
using FileNameRequest = std::function<std::string()>;

std::optional<Fault> EraseCommand(const std::string& portName,
                                  ProgressListener* progress = nullptr);

// A bad file is refused before the chip is touched. With verify, where the
// cable brings MISO back to CTS: the chip's signature is checked before the
// erase, so that another chip or none is never erased, and the image is
// read back and compared after the write. Without it, the window's
// waveform.
std::optional<Fault> FlashHexCommand(const std::string& portName, LogLines& log,
                                     const FileNameRequest& chooseFile,
                                     ProgressListener* progress = nullptr, bool verify = false);
std::optional<Fault> FlashBinCommand(const std::string& portName, LogLines& log,
                                     const FileNameRequest& chooseFile,
                                     ProgressListener* progress = nullptr, bool verify = false);

// The same on any port that the system names: "COM7", "/dev/ttyUSB0"; COM1
// and COM2 by name are the same ports as 1 and 2 above. The extras
// (EEPROM, lock) need no line back to write an EEPROM image; to keep the
// EEPROM or to lock the chip they do.
std::optional<Fault> EraseCommandOnPort(const std::string& portName,
                                        ProgressListener* progress = nullptr);
std::optional<Fault> FlashHexCommandOnPort(const std::string& portName, LogLines& log,
                                           const FileNameRequest& chooseFile,
                                           ProgressListener* progress = nullptr,
                                           bool verify = false, const ChipExtras& extras = {});
std::optional<Fault> FlashBinCommandOnPort(const std::string& portName, LogLines& log,
                                           const FileNameRequest& chooseFile,
                                           ProgressListener* progress = nullptr,
                                           bool verify = false, const ChipExtras& extras = {});

// The same downloads in page mode: each page the image touches is written
// whole in one instruction, the log the same as in byte mode. With a
// polarity (a line back whose polarity is known) each page's write cycle
// is polled instead of waited out blind.
std::optional<Fault> FlashHexPagesCommand(const std::string& portName, LogLines& log,
                                          const FileNameRequest& chooseFile,
                                          ProgressListener* progress = nullptr,
                                          std::optional<CtsPolarity> poll = std::nullopt);
std::optional<Fault> FlashBinPagesCommand(const std::string& portName, LogLines& log,
                                          const FileNameRequest& chooseFile,
                                          ProgressListener* progress = nullptr,
                                          std::optional<CtsPolarity> poll = std::nullopt);
std::optional<Fault> FlashHexPagesCommandOnPort(const std::string& portName, LogLines& log,
                                                const FileNameRequest& chooseFile,
                                                ProgressListener* progress = nullptr,
                                                bool verify = false, const ChipExtras& extras = {});
std::optional<Fault> FlashBinPagesCommandOnPort(const std::string& portName, LogLines& log,
                                                const FileNameRequest& chooseFile,
                                                ProgressListener* progress = nullptr,
                                                bool verify = false, const ChipExtras& extras = {});
