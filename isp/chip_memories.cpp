#include "isp/chip_memories.h"

#include <array>

#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

std::uint16_t PageStart(const ChipMemory& memory, std::uint16_t address) {
  return static_cast<std::uint16_t>(address & ~(memory.pageSize - 1));
}

std::uint8_t ReadAnswer(std::uint8_t instruction, MisoPolarity polarity) {
  SendIspHead(instruction, 0);
  const std::uint8_t value = AsSent(polarity, ReceiveIspByte());
  RequireLinesHeld();
  return value;
}

// Until the cell answers what was written to it, or the limit.
void PollWriteCycle(const ChipMemory& memory, std::uint16_t cell, std::uint8_t expected,
                    MisoPolarity polarity) {
  const double start = ElapsedMs();
  for (;;) {
    const double elapsed = ElapsedMs() - start;
    if (CancelRequested()) {
      // The read would throw before the cycle is over; the next
      // instruction stops the command instead.
      if (elapsed < kWriteCycleMs) WaitMs(kWriteCycleMs - elapsed);
      return;
    }
    if (ReadMemoryByte(memory, cell, polarity) == expected) return;
    if (elapsed > kWritePollLimitMs) throw WriteNotDone{cell};
  }
}

void FinishWrite(const ChipMemory& memory, std::uint16_t lastLoaded, std::uint8_t value,
                 std::optional<MisoPolarity> poll) {
  if (poll) {
    PollWriteCycle(memory, lastLoaded, value, *poll);
  } else {
    WaitMs(kWriteCycleMs);
  }
}

}  // namespace

void ReadMemoryPage(const ChipMemory& memory, std::uint16_t address, MisoPolarity polarity,
                    std::span<std::uint8_t> into) {
  SendIspHead(memory.readPage, PageStart(memory, address));
  const auto page = into.first(memory.pageSize);
  ReceiveIspBytes(page);
  for (std::uint8_t& byte : page) byte = AsSent(polarity, byte);
  RequireLinesHeld();
}

std::uint8_t ReadMemoryByte(const ChipMemory& memory, std::uint16_t address,
                            MisoPolarity polarity) {
  SendIspHead(memory.readByte, address);
  const std::uint8_t value = AsSent(polarity, ReceiveIspByte());
  RequireLinesHeld();
  return value;
}

void WriteMemoryByte(const ChipMemory& memory, std::uint16_t address, std::uint8_t value,
                     std::optional<MisoPolarity> poll) {
  SendIspInstruction({memory.writeByte, static_cast<std::uint8_t>(address >> 8),
                      static_cast<std::uint8_t>(address & 0xFF), value});
  FinishWrite(memory, address, value, poll);
}

void WriteMemoryPage(const ChipMemory& memory, std::uint16_t address,
                     std::span<const std::uint8_t> data, std::optional<MisoPolarity> poll) {
  const std::uint16_t first = PageStart(memory, address);
  SendIspHead(memory.writePage, first);
  for (const std::uint8_t value : data.first(memory.pageSize)) SendIspByte(value);
  RequireLinesHeld();
  // The chip shows its write cycle only at the last byte loaded.
  const auto last = static_cast<std::uint16_t>(first + memory.pageSize - 1);
  FinishWrite(memory, last, data[memory.pageSize - 1], poll);
}

std::uint8_t ReadUserFuses(MisoPolarity polarity) { return ReadAnswer(0x21, polarity) & kAllFuses; }

void WriteUserFuses(std::uint8_t fuses) {
  SendIspInstruction({0xAC, static_cast<std::uint8_t>(0x10 | (fuses & kAllFuses)), 0x00, 0x00});
  WaitMs(kWriteCycleMs);
}

std::uint8_t ReadLockBits(MisoPolarity polarity) {
  return ReadAnswer(0x24, polarity) & kAllLockBits;
}

void WriteLockBits(std::uint8_t lockBits) {
  SendIspInstruction(
      {0xAC, static_cast<std::uint8_t>(0xE0 | (lockBits & kAllLockBits)), 0x00, 0x00});
  WaitMs(kWriteCycleMs);
}
