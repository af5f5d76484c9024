#include "isp/chip_memories.h"

#include <algorithm>
#include <array>

#include "isp/echo_check.h"
#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

std::uint16_t PageStart(const ChipMemory& memory, std::uint16_t address) {
  return static_cast<std::uint16_t>(address & ~(memory.pageSize - 1));
}

std::uint8_t ReadAnswer(std::uint8_t instruction, MisoPolarity polarity) {
  SendCheckedHead(instruction, 0);
  const std::uint8_t value = AsSent(polarity, ReceiveIspByte());
  RequireLinesHeld();
  return value;
}

// Reads the cell until it answers expected; a cycle still running at the
// limit throws notDone. A cancel waits out the whole cycle instead: the
// read would throw before the cycle is over, and the next instruction
// stops the command.
template <class NotDone>
void PollCycle(const ChipMemory& memory, std::uint16_t cell, std::uint8_t expected,
               MisoPolarity polarity, double cycleMs, double limitMs, NotDone notDone) {
  const double start = ElapsedMs();
  for (;;) {
    const double elapsed = ElapsedMs() - start;
    if (CancelRequested()) {
      if (elapsed < cycleMs) WaitMs(cycleMs - elapsed);
      return;
    }
    if (ReadMemoryByte(memory, cell, polarity) == expected) return;
    if (elapsed > limitMs) throw notDone;
  }
}

void FinishWrite(const ChipMemory& memory, std::uint16_t lastLoaded, std::uint8_t value,
                 std::optional<MisoPolarity> poll) {
  if (poll) {
    PollCycle(memory, lastLoaded, value, *poll, kWriteCycleMs, kWritePollLimitMs,
              WriteNotDone{lastLoaded});
  } else {
    WaitMs(kWriteCycleMs);
  }
}

}  // namespace

void ReadMemoryPage(const ChipMemory& memory, std::uint16_t address, MisoPolarity polarity,
                    std::span<std::uint8_t> into) {
  SendCheckedHead(memory.readPage, PageStart(memory, address));
  const auto page = into.first(memory.pageSize);
  ReceiveIspBytes(page);
  for (std::uint8_t& byte : page) byte = AsSent(polarity, byte);
  RequireLinesHeld();
}

std::uint8_t ReadMemoryByte(const ChipMemory& memory, std::uint16_t address,
                            MisoPolarity polarity) {
  SendCheckedHead(memory.readByte, address);
  const std::uint8_t value = AsSent(polarity, ReceiveIspByte());
  RequireLinesHeld();
  return value;
}

void WriteMemoryByte(const ChipMemory& memory, std::uint16_t address, std::uint8_t value,
                     std::optional<MisoPolarity> poll) {
  const IspInstruction instruction{memory.writeByte, static_cast<std::uint8_t>(address >> 8),
                                   static_cast<std::uint8_t>(address & 0xFF), value};
  SendCheckedInstruction(instruction);
  FinishWrite(memory, address, value, poll);
}

void WriteMemoryPage(const ChipMemory& memory, std::uint16_t address,
                     std::span<const std::uint8_t> data, std::optional<MisoPolarity> poll) {
  const std::uint16_t first = PageStart(memory, address);
  std::array<std::uint8_t, 3 + kPageSize> instruction{memory.writePage,
                                                      static_cast<std::uint8_t>(first >> 8),
                                                      static_cast<std::uint8_t>(first & 0xFF)};
  std::copy_n(data.begin(), memory.pageSize, instruction.begin() + 3);
  SendCheckedInstruction(std::span(instruction).first(3 + memory.pageSize));
  // The chip shows its write cycle only at the last byte loaded.
  const auto last = static_cast<std::uint16_t>(first + memory.pageSize - 1);
  FinishWrite(memory, last, data[memory.pageSize - 1], poll);
}

void EraseChipPolled(MisoPolarity polarity) {
  SendCheckedInstruction(kChipErase);
  // Every cell reads 00 until the erase is over.
  PollCycle(kFlashMemory, kFlashMemory.size - 1, 0xFF, polarity, kChipEraseMs, kErasePollLimitMs,
            EraseNotDone{});
}

std::uint8_t ReadUserFuses(MisoPolarity polarity) { return ReadAnswer(0x21, polarity) & kAllFuses; }

void WriteUserFuses(std::uint8_t fuses) {
  const IspInstruction instruction{0xAC, static_cast<std::uint8_t>(0x10 | (fuses & kAllFuses)),
                                   0x00, 0x00};
  SendCheckedInstruction(instruction);
  WaitMs(kWriteCycleMs);
}

std::uint8_t ReadLockBits(MisoPolarity polarity) {
  return ReadAnswer(0x24, polarity) & kAllLockBits;
}

void WriteLockBits(std::uint8_t lockBits) {
  const IspInstruction instruction{
      0xAC, static_cast<std::uint8_t>(0xE0 | (lockBits & kAllLockBits)), 0x00, 0x00};
  SendCheckedInstruction(instruction);
  WaitMs(kWriteCycleMs);
}
