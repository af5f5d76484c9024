// A read-out of the flash, kept as a file that a download can write back.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/image_extent.h"
#include "image/image_fault.h"

// The flash's bytes, from address 0, written whole or not at all in the
// format that the name gives (ImageFormatForNewFile); nothing is written
// for a name that gives none.
std::optional<ImageFault> WriteFlashFile(const std::string& path,
                                         std::span<const std::uint8_t> flash);
