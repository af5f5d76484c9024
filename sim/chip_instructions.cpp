// What the chip does with each instruction it has taken in: its memories,
// fuses and lock bits, and the answers of its reads.
#include <algorithm>

#include "sim/chip_model.h"
#include "sim/chip_text.h"

using namespace chip_opcodes;
using chip_text::Bytes;
using chip_text::Hex4;

namespace {

// What flash and EEPROM read as while the lock bits forbid verifying them.
// The real chip's answer is not documented; garbage that varies from cell
// to cell hardly ever matches what they hold, blank or not, so a program
// that compares without looking at the lock bits first shows it.
std::uint8_t LockedAnswer(int address) {
  return static_cast<std::uint8_t>((address * 0x6D + 0xC3) ^ (address >> 5));
}

}  // namespace

std::uint8_t* ChipModel::CellsOf(Memory memory) {
  switch (memory) {
    case Memory::Eeprom: return eeprom_.data();
    case Memory::UserRow: return userRow_.data();
    case Memory::Flash: break;
  }
  return flash_.data();
}

std::uint8_t ChipModel::ReadCell(Memory memory, int address) const {
  if (memory != Memory::UserRow && VerifyLocked()) return LockedAnswer(address);
  switch (memory) {
    case Memory::Eeprom: return eeprom_[static_cast<std::size_t>(address)];
    case Memory::UserRow: return userRow_[static_cast<std::size_t>(address)];
    case Memory::Flash: break;
  }
  return address < static_cast<int>(kFlashSize) ? flash_[static_cast<std::size_t>(address)] : 0xFF;
}

void ChipModel::PrepareAnswer(std::int64_t ns) {
  answerLength_ = 0;
  if (!enabled_) return;  // a chip out of programming mode says nothing
  switch (received_[0]) {
    case kReadSignature: {
      const unsigned index = received_[2] - 0x30u;
      answer_[0] = index < kSignature.size() ? kSignature[index] : 0xFF;
      answerLength_ = 1;
      return;
    }
    // The bits above the fuses and lock bits are not defined: 1 here.
    case kReadFuses:
      answer_[0] = static_cast<std::uint8_t>(0xF0 | fuses_);
      answerLength_ = 1;
      return;
    case kReadLockBits:
      answer_[0] = static_cast<std::uint8_t>(0xF8 | lockBits_);
      answerLength_ = 1;
      return;
    default: break;
  }
  const Opcode opcode = OpcodeOf(received_[0]);
  const int address = AddressOf(opcode.memory, received_.data());
  if (opcode.access == Access::ReadPage) {
    const int first = FirstOf(opcode, address);
    answerLength_ = static_cast<int>(PageSizeOf(opcode.memory));
    for (int i = 0; i < answerLength_; ++i) {
      answer_[static_cast<std::size_t>(i)] = ReadCell(opcode.memory, first + i);
    }
    return;
  }
  if (opcode.access != Access::ReadByte) return;
  answerLength_ = 1;
  answer_[0] = ReadCell(opcode.memory, address);
  if (begunBusyNs_ == 0) return;
  if (erasing_) {
    if (ns < busyUntilNs_) answer_[0] = 0x00;
  } else if (opcode.memory != pollMemory_ || address != pollAddress_) {
    BusyViolation();
  } else if (ns < busyUntilNs_) {
    answer_[0] = pollDatum_ ^ 0x80;
  }
}

void ChipModel::Execute(const ChipInstruction& instruction, std::int64_t ns) {
  const auto& b = instruction.bytes;
  if (IsProgrammingEnable(b[0], b[1])) {
    // With fuse F1 unprogrammed the chip no longer answers serial programming.
    if (!SerialProgrammingOff()) enabled_ = true;
    return;
  }
  if (!enabled_) {
    Violation(instruction.ns, "instruction " + Bytes(b) + " before Programming Enable, ignored");
    return;
  }
  if (b[0] == kAc) {
    ExecuteAc(instruction, ns);
    return;
  }
  const Opcode opcode = OpcodeOf(b[0]);
  const int address = AddressOf(opcode.memory, b.data());
  switch (opcode.access) {
    case Access::WriteByte:
    case Access::WritePage: Write(instruction, ns); return;
    case Access::ReadByte:
    case Access::ReadPage:
      if (opcode.memory == Memory::Flash && address >= static_cast<int>(kFlashSize)) {
        Violation(instruction.ns,
                  "read of " + Hex4(static_cast<unsigned>(address)) + ", beyond the flash");
      }
      return;
    case Access::None: break;
  }
  if (b[0] == kReadSignature || b[0] == kReadFuses || b[0] == kReadLockBits) return;
  Violation(instruction.ns, "unknown instruction " + Bytes(b) + ", ignored");
}

void ChipModel::ExecuteAc(const ChipInstruction& instruction, std::int64_t ns) {
  const auto& b = instruction.bytes;
  if (IsChipErase(b[0], b[1])) {
    flash_.fill(0xFF);
    eeprom_.fill(0xFF);
    if (UserRowWritable()) userRow_.fill(0xFF);
    lockBits_ = kUnlocked;
    ++erases_;
    ++programmings_;
    lowestWritten_ = highestWritten_ = -1;
    Busy(ns + kEraseNs, true);
    return;
  }
  if (IsFuseWrite(b[0], b[1])) {
    fuses_ = b[1] & 0x0F;
  } else if (IsLockWrite(b[0], b[1])) {
    lockBits_ &= b[1];  // only an erase unlocks
  } else {
    Violation(instruction.ns, "unknown instruction " + Bytes(b) + ", ignored");
    return;
  }
  ++programmings_;
  Busy(ns + kByteWriteNs, false);
}

void ChipModel::Busy(std::int64_t untilNs, bool erase) {
  busyUntilNs_ = untilNs;
  erasing_ = erase;
  pollAddress_ = -1;
}

void ChipModel::Write(const ChipInstruction& instruction, std::int64_t ns) {
  const auto& b = instruction.bytes;
  const Opcode opcode = OpcodeOf(b[0]);
  if (opcode.memory == Memory::UserRow && !UserRowWritable()) {
    Violation(instruction.ns, "user row write while fuse F3 forbids it, ignored");
    return;
  }
  const int first = FirstOf(opcode, AddressOf(opcode.memory, b.data()));
  const bool page = IsPage(opcode);
  Busy(ns + (page ? pageWriteNs_ : kByteWriteNs), false);
  pollMemory_ = opcode.memory;
  pollAddress_ = first + static_cast<int>(instruction.more.size());
  pollDatum_ = page ? instruction.more.back() : b[3];
  if (opcode.memory == Memory::Flash && first >= static_cast<int>(kFlashSize)) {
    Violation(instruction.ns,
              "write to " + Hex4(static_cast<unsigned>(first)) + ", beyond the flash");
    return;
  }
  Program(opcode.memory, first, b[3]);
  for (std::size_t i = 0; i < instruction.more.size(); ++i) {
    Program(opcode.memory, first + 1 + static_cast<int>(i), instruction.more[i]);
  }
  ++programmings_;
}

void ChipModel::Program(Memory memory, int address, std::uint8_t data) {
  // Serial programming has no auto-erase: a write only clears bits, and
  // only an erase sets them again. A byte sent as 0xFF leaves its cell alone.
  std::uint8_t& cell = CellsOf(memory)[address];
  cell &= data;
  if (memory != Memory::Flash) return;
  if (address == weakCell_ && data != 0xFF) cell ^= 0x01;
  lowestWritten_ = lowestWritten_ < 0 ? address : std::min(lowestWritten_, address);
  highestWritten_ = std::max(highestWritten_, address);
}
