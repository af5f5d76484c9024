// The commands that read the chip back, where the cable brings MISO back to
// CTS: who answers, whether a memory (request.target) holds an image, and a
// whole memory into a file, on the port of the request. None of them erases
// or writes the chip. Each first checks that the chip
// listens (its echo) and is an AT89S8253 (its signature). The command clock
// must run (StartClock).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "commands/chip_check.h"
#include "commands/command_request.h"
#include "commands/fault.h"
#include "commands/progress.h"

// The signature of the AT89S8253 that answered into signature, and its
// fuses and lock bits into state.
std::optional<Fault> DetectCommand(const CommandRequest& request,
                                   std::array<std::uint8_t, 3>& signature,
                                   ChipState* state = nullptr);

// The bytes that the image file covers, read back from the target and
// compared; the file is Intel HEX or binary by ImageFormatOf. A bad file is
// refused before the port is opened; a chip locked against reading is named
// as such.
std::optional<Fault> VerifyCommand(const CommandRequest& request,
                                   ProgressListener* progress = nullptr);

// The whole target into file, Intel HEX or binary by its name, written whole
// or not at all, after the lines are released.
std::optional<Fault> ReadCommand(const CommandRequest& request,
                                 ProgressListener* progress = nullptr);
