// The chip model's summary of a run, for a person reading it afterwards.
#include <string>

#include "sim/chip_model.h"
#include "sim/chip_text.h"

using namespace chip_opcodes;
using chip_text::Bits;
using chip_text::Hex2;
using chip_text::Hex4;

namespace {

const char* NameOf(Memory memory) {
  switch (memory) {
    case Memory::Eeprom: return "EEPROM ";
    case Memory::UserRow: return "user row ";
    case Memory::Flash: break;
  }
  return "";
}

// "Programming Enable", or empty for the instructions summed up in runs.
std::string Single(const std::array<std::uint8_t, 4>& b) {
  if (IsProgrammingEnable(b[0], b[1])) return "Programming Enable";
  if (IsChipErase(b[0], b[1])) return "Chip Erase";
  if (IsFuseWrite(b[0], b[1])) return "Write Fuses " + Bits(b[1], 4);
  if (IsLockWrite(b[0], b[1])) return "Write Lock Bits " + Bits(b[1], 3);
  if (b[0] == kReadSignature) return "Read Signature " + Hex2(b[2]);
  if (b[0] == kReadFuses) return "Read Fuses";
  if (b[0] == kReadLockBits) return "Read Lock Bits";
  return chip_text::Bytes(b);
}

// Sixteen cells a line, from row on, as "0140  FF 00 ...".
std::string Row(const std::uint8_t* cells, int row, int end, int addressDigits) {
  std::string line =
      addressDigits == 4 ? Hex4(static_cast<unsigned>(row)) : Hex2(static_cast<unsigned>(row));
  line += ' ';
  for (int column = 0; column < 16 && row + column < end; ++column) {
    line += ' ';
    line += Hex2(cells[row + column]);
  }
  return line + '\n';
}

// The rows that hold anything but 0xFF, or that the memory is blank.
std::string NotBlank(const char* name, const std::uint8_t* cells, int size, int addressDigits) {
  std::string rows;
  for (int row = 0; row < size; row += 16) {
    for (int column = 0; column < 16; ++column) {
      if (cells[row + column] == 0xFF) continue;
      rows += Row(cells, row, size, addressDigits);
      break;
    }
  }
  if (rows.empty()) return std::string(name) + " blank.\n";
  return std::string(name) + ", the rows not blank:\n" + rows;
}

std::string FusesText(std::uint8_t fuses) {
  auto on = [&](std::uint8_t fuse) { return (fuses & fuse) == 0 ? "on" : "off"; };
  return "Fuses F4-F1 " + Bits(fuses, 4) + ": serial programming " +
         on(ChipModel::kSerialProgrammingFuse) + ", x2 clock " + on(ChipModel::kX2ClockFuse) +
         ", user-row writes " + on(ChipModel::kUserRowWritesFuse) + ", clock " +
         ((fuses & ChipModel::kClockSourceFuse) == 0 ? "external" : "crystal") + "\n";
}

std::string LockText(std::uint8_t lockBits) {
  const char* mode = "mode 1, unlocked";
  if (lockBits == 0) {
    mode = "mode 4, no external MOVC, no verification, no external execution";
  } else if ((lockBits & 0x03) == 0) {
    mode = "mode 3, no external MOVC, no verification";
  } else if ((lockBits & 0x01) == 0) {
    mode = "mode 2, no external MOVC";
  }
  return "Lock bits LB3-LB1 " + Bits(lockBits, 3) + ": " + mode + "\n";
}

}  // namespace

std::string ChipModel::Report() const {
  std::string report = "Chip received " + std::to_string(instructions_.size()) + " instructions:\n";
  std::size_t i = 0;
  while (i < instructions_.size()) {
    const auto& b = instructions_[i].bytes;
    const Opcode opcode = OpcodeOf(b[0]);
    if (opcode.access == Access::None) {
      report += "  " + Single(b) + "\n";
      ++i;
      continue;
    }
    std::size_t last = i;
    while (last + 1 < instructions_.size() && instructions_[last + 1].bytes[0] == b[0]) ++last;
    const bool write = opcode.access == Access::WriteByte || opcode.access == Access::WritePage;
    const int first = FirstOf(opcode, AddressOf(opcode.memory, b.data()));
    report += std::string("  ") + (write ? "Write " : "Read ") + NameOf(opcode.memory) +
              std::to_string(last - i + 1) + (IsPage(opcode) ? " pages" : " bytes") +
              ", first at " + Hex4(static_cast<unsigned>(first)) + "\n";
    i = last + 1;
  }
  if (highestWritten_ >= 0) {
    const int first = lowestWritten_ & ~0xF;
    report += "Flash " + Hex4(static_cast<unsigned>(first)) + " to " +
              Hex4(static_cast<unsigned>(highestWritten_)) + ":\n";
    for (int row = first; row <= highestWritten_; row += 16) {
      report += Row(flash_.data(), row, static_cast<int>(kFlashSize), 4);
    }
  } else {
    report +=
        erases_ > 0 ? "Flash erased, nothing written.\n" : "Flash not erased, nothing written.\n";
  }
  report += NotBlank("EEPROM", eeprom_.data(), static_cast<int>(kEepromSize), 4);
  report += NotBlank("User row", userRow_.data(), static_cast<int>(kUserRowSize), 2);
  report += FusesText(fuses_) + LockText(lockBits_);
  if (violations_.empty()) {
    report += "No timing violation.\n";
  } else {
    report += std::to_string(violations_.size()) + " timing violations:\n";
    for (const std::string& violation : violations_) report += "  " + violation + "\n";
  }
  return report;
}
