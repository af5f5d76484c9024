// The commands that read the chip back, where the cable brings MISO back to
// CTS: who answers, whether a memory holds an image, and a whole memory
// into a file, on the port that the system names ("COM2", "/dev/ttyUSB0").
// None of them erases or writes the chip. Each first checks that the chip
// listens (its echo) and is an AT89S8253 (its signature). The command clock
// must run (StartCommandClock).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "commands/chip_check.h"
#include "commands/fault.h"
#include "commands/progress.h"

// The signature of the AT89S8253 that answered into signature, and its
// fuses and lock bits into state.
std::optional<Fault> DetectCommand(const std::string& portName,
                                   std::array<std::uint8_t, 3>& signature,
                                   ChipState* state = nullptr);

// The bytes that the image file covers, read back from the target and
// compared; the file is Intel HEX or binary by ImageFormatOf. A bad file is
// refused before the port is opened; a chip locked against reading is named
// as such.
std::optional<Fault> VerifyCommand(const std::string& portName, const std::string& file,
                                   ProgressListener* progress = nullptr,
                                   ImageTarget target = ImageTarget::Flash);

// The whole target into file, Intel HEX or binary by its name, written whole
// or not at all, after the lines are released.
std::optional<Fault> ReadCommand(const std::string& portName, const std::string& file,
                                 ProgressListener* progress = nullptr,
                                 ImageTarget target = ImageTarget::Flash);
