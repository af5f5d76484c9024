// The commands that read the chip back, where the cable brings MISO to CTS:
// who answers, whether the flash holds an image, and the whole flash into a
// file, on the port that the system names ("COM2", "/dev/ttyUSB0"). None
// of them erases or writes the chip. The command clock must run
// (StartCommandClock).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "commands/fault.h"
#include "commands/progress.h"

// The signature of the AT89S8253 that answered, into signature.
std::optional<Fault> DetectCommand(const std::string& portName,
                                   std::array<std::uint8_t, 3>& signature);

// The bytes that the image file covers, read back and compared; the file
// is Intel HEX or binary by ImageFormatOf. A bad file is refused before the
// port is opened.
std::optional<Fault> VerifyCommand(const std::string& portName, const std::string& file,
                                   ProgressListener* progress = nullptr);

// The whole 12 KB flash into file, Intel HEX or binary by its name, written whole
// or not at all, after the lines are released.
std::optional<Fault> ReadCommand(const std::string& portName, const std::string& file,
                                 ProgressListener* progress = nullptr);
