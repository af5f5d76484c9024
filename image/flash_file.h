// A read-out of the flash, kept as a file that a download can write back.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/image_extent.h"
#include "image/image_fault.h"

// By the name: .hex is Intel HEX, .bin the bytes as they are (any case).
// Any other name is refused, so that a command can refuse it before it
// reads the chip.
Checked<ImageFormat> FlashFileFormat(const std::string& path);

// The flash's bytes, from address 0, written whole or not at all in the
// format that the name gives. Nothing is written for a name of neither.
std::optional<ImageFault> WriteFlashFile(const std::string& path,
                                         std::span<const std::uint8_t> flash);
