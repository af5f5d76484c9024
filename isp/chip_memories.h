// The chip's memories besides reading and writing its flash byte by byte:
// the flash, the data EEPROM and the user row, each read and written by its
// own instructions of the same shape, and the user fuses and lock bits.
// Reads need the line back (readback.h); writes without it wait out the
// whole write cycle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "isp/readback.h"

// A memory as the chip's instructions reach it: the address goes high byte
// first in the second and third bytes, for a page with its low bits 0.
struct ChipMemory {
  std::uint8_t readByte;
  std::uint8_t writeByte;
  std::uint8_t readPage;
  std::uint8_t writePage;
  std::size_t size;
  std::size_t pageSize;
};

inline constexpr ChipMemory kFlashMemory{0x20, 0x40, 0x30, 0x50, 12288, 64};
inline constexpr ChipMemory kEepromMemory{0xA0, 0xC0, 0xB0, 0xD0, 2048, 32};
// The user row's address is only its low six bits, in the third byte.
inline constexpr ChipMemory kUserRowMemory{0x22, 0x42, 0x32, 0x52, 64, 64};

// The chip's longest write cycle and erase.
inline constexpr double kLongestWriteCycleMs = 4.5;
inline constexpr double kChipEraseMs = 9;

// A write cycle is at most 4.5 ms; a polled one may take twice the blind
// allowance before the cell counts as not written.
inline constexpr double kWritePollLimitMs = 10;

// Thrown when a polled write did not read as written within the limit.
struct WriteNotDone {
  std::uint16_t address;  // the cell that was polled
};

// The page that holds address, into into (one page's size).
void ReadMemoryPage(const ChipMemory& memory, std::uint16_t address, MisoPolarity polarity,
                    std::span<std::uint8_t> into);
std::uint8_t ReadMemoryByte(const ChipMemory& memory, std::uint16_t address, MisoPolarity polarity);

// One write instruction, then its write cycle: with a polarity, polled at
// the last byte loaded until it answers its datum (bit 7 reads inverted
// while the cycle runs); without, waited out whole. A cancel while polling
// waits out the whole cycle, so that it is never cut short. Throws
// WriteNotDone when the cycle outlasts twice its allowance.
void WriteMemoryByte(const ChipMemory& memory, std::uint16_t address, std::uint8_t value,
                     std::optional<MisoPolarity> poll);
void WriteMemoryPage(const ChipMemory& memory, std::uint16_t address,
                     std::span<const std::uint8_t> data, std::optional<MisoPolarity> poll);

// During an erase a read answers 00; polled, it may take twice its longest
// before the chip counts as not erased.
inline constexpr double kErasePollLimitMs = 18;

// Thrown when a polled erase did not read blank within the limit.
struct EraseNotDone {};

// With programming enabled and a chip that answers under the polarity: the
// erase instruction, then the flash polled until it reads blank. The chip
// is then ready to be written, without a reset. A cancel while polling
// waits out the erase's whole 9 ms.
void EraseChipPolled(MisoPolarity polarity);

// The four user fuses, F1 in bit 0 to F4 in bit 3; a fuse reads 0 when it
// is programmed, which enables what it stands for.
inline constexpr std::uint8_t kFuseSerialProgramming = 0x01;  // F1
inline constexpr std::uint8_t kFuseX2Clock = 0x02;            // F2
inline constexpr std::uint8_t kFuseUserRowWrites = 0x04;      // F3
inline constexpr std::uint8_t kFuseCrystalClock = 0x08;       // F4: 1 crystal, 0 external clock
inline constexpr std::uint8_t kAllFuses = 0x0F;

std::uint8_t ReadUserFuses(MisoPolarity polarity);
// Writes all four and waits out the write cycle.
void WriteUserFuses(std::uint8_t fuses);

// The lock bits, LB1 in bit 0 to LB3 in bit 2, 0 where locked. Mode 1 is
// none locked, mode 2 LB1, mode 3 LB1 and LB2, mode 4 all three.
inline constexpr std::uint8_t kAllLockBits = 0x07;

std::uint8_t ReadLockBits(MisoPolarity polarity);
// Locks the bits that are 0 in lockBits; only a chip erase opens them.
void WriteLockBits(std::uint8_t lockBits);
