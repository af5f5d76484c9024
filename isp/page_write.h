// Page mode: one instruction carries 64 bytes and the chip spends one write
// cycle on the whole page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "isp/readback.h"

inline constexpr std::uint8_t kWriteProgramPage = 0x50;

// Without a line back a page gets the same allowance as a byte.
inline constexpr double kPageWriteCycleMs = 5;
// When polling: how long a page may take before it counts as not written,
// twice the blind allowance.
inline constexpr double kPagePollLimitMs = 10;

using FlashPage = std::span<const std::uint8_t, kPageSize>;

// Thrown when a polled page did not read as written within the limit.
struct PageNotWritten {
  std::uint16_t address;  // the cell that was polled
};

// 0x50, the page's address with its low six bits 0, then its 64 bytes,
// lowest address first, and the whole write-cycle allowance. Cancel and
// line checks as for any instruction.
void WriteFlashPage(std::uint16_t pageAddress, FlashPage data);

// The same instruction, then the page's byte 63 is read until it answers
// its datum: the chip shows its write cycle only at the last byte loaded,
// which it answers with bit 7 inverted until the cycle ends. A cancel while
// polling waits out the blind allowance, so that the cycle is never cut
// short. Throws PageNotWritten after kPagePollLimitMs.
void WriteFlashPage(std::uint16_t pageAddress, FlashPage data, CtsPolarity polarity);
