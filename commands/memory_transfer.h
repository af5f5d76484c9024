// Reading and writing a whole memory of the chip (flash, EEPROM or user
// row) inside a command's session, page by page or byte by byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands/chip_check.h"
#include "commands/progress_meter.h"
#include "image/image_fault.h"
#include "isp/readback.h"

// The covered bytes of an image file for the target, by ImageFormatOf.
Checked<CoveredBytes> ReadCoveredBytes(const std::string& file, ImageTarget target);

// The whole target, page by page; each page read is a step of the meter.
// At a phase shorter than the window's each page is read twice (ReadsTwice),
// and once more at the window's when the two differ.
std::vector<std::uint8_t> ReadWholeMemory(ImageTarget target, MisoPolarity polarity,
                                          ProgressMeter* meter = nullptr);

bool ReadsTwice();

// The bytes written, each page that holds one in one instruction (the rest
// of the page sent as FF, which changes no cell) or each byte in its own.
// With a polarity each write cycle is polled, else waited out.
void WriteCovered(ImageTarget target, const CoveredBytes& bytes, bool pages,
                  std::optional<MisoPolarity> poll);

// Serial programming cannot set a bit that the chip holds at 0: the first
// covered byte that would need one, if any.
std::optional<std::uint16_t> FirstNeedingErase(const CoveredBytes& wanted,
                                               const std::vector<std::uint8_t>& held);
