#include "sim/chip_model.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Hex2(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

std::string Hex4(unsigned value) { return Hex2(value >> 8) + Hex2(value); }

std::string Ms(std::int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f ms", static_cast<double>(ns) / 1e6);
  return text;
}

std::string Us(std::int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f us", static_cast<double>(ns) / 1e3);
  return text;
}

bool IsProgrammingEnable(const std::array<std::uint8_t, 4>& b) {
  return b[0] == 0xAC && b[1] == 0x53;
}
bool IsChipErase(const std::array<std::uint8_t, 4>& b) {
  return b[0] == 0xAC && (b[1] & 0xE0) == 0x80;
}
bool IsByteWrite(const std::array<std::uint8_t, 4>& b) { return b[0] == 0x40; }

}  // namespace

ChipModel::ChipModel() {
  for (std::size_t address = 0; address < kFlashSize; ++address) {
    flash_[address] = FactoryPattern(address);
  }
  instructions_.reserve(1 << 14);
}

std::uint8_t ChipModel::FactoryPattern(std::size_t address) {
  return static_cast<std::uint8_t>((address * 37u + 0x5Au) ^ (address >> 8));
}

void ChipModel::Feed(std::span<const LineEvent> events) {
  for (const LineEvent& event : events) Feed(event);
}

void ChipModel::Feed(const LineEvent& event) {
  switch (event.line) {
    case PortLine::Dtr: OnDtr(event); break;
    case PortLine::Rts: OnRts(event); break;
    case PortLine::Txd: OnTxd(event); break;
  }
}

void ChipModel::OnDtr(const LineEvent& event) {
  if (event.on == dtr_) return;
  dtr_ = event.on;
  if (!dtr_ && bitCount_ != 0) {
    Violation(event.ns, "reset released in the middle of an instruction (" +
                            std::to_string(bitCount_) + " bits)");
  }
  // Any edge of reset starts the framing anew and leaves programming mode.
  bitCount_ = 0;
  enabled_ = false;
  instructionSinceReset_ = false;
  lastBitNs_ = -1;
  bothOnSinceNs_ = (dtr_ && rts_) ? event.ns : -1;
}

void ChipModel::OnRts(const LineEvent& event) {
  if (event.on == rts_) return;
  rts_ = event.on;
  if (!dtr_) return;
  if (rts_) {
    if (bothOnSinceNs_ < 0 && !instructionSinceReset_ && bitCount_ == 0) {
      bothOnSinceNs_ = event.ns;  // the clock came to rest after reset
      return;
    }
    TakeBit(event.ns);
    return;
  }
  // A clock pulse begins.
  if (bitCount_ == 0) {
    instructionStartNs_ = event.ns;
    if (!instructionSinceReset_ &&
        (bothOnSinceNs_ < 0 || event.ns - bothOnSinceNs_ < kResetSettleNs)) {
      Violation(event.ns, "first instruction less than 10 ms after reset and clock were on");
    }
    if (event.ns < busyUntilNs_) {
      Violation(event.ns, "instruction begun " + Us(busyUntilNs_ - event.ns) +
                              " before the previous write or erase had finished");
    }
  }
}

void ChipModel::OnTxd(const LineEvent& event) {
  if (event.on == txdBreak_) return;
  txdBreak_ = event.on;
  if (dtr_ && lastBitNs_ >= 0 && event.ns - lastBitNs_ < kDataStableNs) {
    Violation(event.ns, "data changed " + Us(event.ns - lastBitNs_) + " after the bit was taken");
  }
  lastTxdChangeNs_ = event.ns;
}

void ChipModel::TakeBit(std::int64_t ns) {
  if (lastTxdChangeNs_ >= 0 && ns - lastTxdChangeNs_ < kDataStableNs) {
    Violation(ns, "data stable only " + Us(ns - lastTxdChangeNs_) + " before the bit was taken");
  }
  lastBitNs_ = ns;
  const auto index = static_cast<std::size_t>(bitCount_ / 8);
  const std::uint8_t bit = txdBreak_ ? 0 : 1;  // the port inverts the data
  shift_[index] = static_cast<std::uint8_t>((shift_[index] << 1) | bit);
  if (++bitCount_ < 32) return;
  bitCount_ = 0;
  instructionSinceReset_ = true;
  const ChipInstruction instruction{instructionStartNs_, shift_};
  instructions_.push_back(instruction);
  shift_ = {};
  Execute(instruction);
  if (IsChipErase(instruction.bytes) && enabled_) busyUntilNs_ = ns + kEraseNs;
  if (IsByteWrite(instruction.bytes) && enabled_) busyUntilNs_ = ns + kByteWriteNs;
}

void ChipModel::Execute(const ChipInstruction& instruction) {
  const auto& b = instruction.bytes;
  if (IsProgrammingEnable(b)) {
    enabled_ = true;
    return;
  }
  if (!enabled_) {
    Violation(instruction.ns, "instruction " + Hex2(b[0]) + " " + Hex2(b[1]) + " " + Hex2(b[2]) +
                                  " " + Hex2(b[3]) + " before Programming Enable, ignored");
    return;
  }
  if (IsChipErase(b)) {
    flash_.fill(0xFF);
    ++erases_;
    lowestWritten_ = highestWritten_ = -1;
    return;
  }
  if (IsByteWrite(b)) {
    const int address = (b[1] << 8) | b[2];
    if (address >= static_cast<int>(kFlashSize)) {
      Violation(instruction.ns,
                "write to " + Hex4(static_cast<unsigned>(address)) + ", beyond the flash");
      return;
    }
    // Programming only clears bits; only an erase sets them again.
    flash_[static_cast<std::size_t>(address)] &= b[3];
    lowestWritten_ = lowestWritten_ < 0 ? address : std::min(lowestWritten_, address);
    highestWritten_ = std::max(highestWritten_, address);
  }
}

void ChipModel::Violation(std::int64_t ns, const std::string& what) {
  violations_.push_back(Ms(ns) + ": " + what);
}

std::string ChipModel::Report() const {
  std::string report = "Chip received " + std::to_string(instructions_.size()) + " instructions:\n";
  std::size_t i = 0;
  while (i < instructions_.size()) {
    const auto& b = instructions_[i].bytes;
    if (IsByteWrite(b)) {
      std::size_t last = i;
      while (last + 1 < instructions_.size() && IsByteWrite(instructions_[last + 1].bytes)) ++last;
      report += "  Write " + std::to_string(last - i + 1) + " bytes, first at " +
                Hex4(static_cast<unsigned>((b[1] << 8) | b[2])) + "\n";
      i = last + 1;
      continue;
    }
    if (IsProgrammingEnable(b)) {
      report += "  Programming Enable\n";
    } else if (IsChipErase(b)) {
      report += "  Chip Erase\n";
    } else {
      report += "  " + Hex2(b[0]) + " " + Hex2(b[1]) + " " + Hex2(b[2]) + " " + Hex2(b[3]) + "\n";
    }
    ++i;
  }
  if (highestWritten_ >= 0) {
    const int first = lowestWritten_ & ~0xF;
    report += "Flash " + Hex4(static_cast<unsigned>(first)) + " to " +
              Hex4(static_cast<unsigned>(highestWritten_)) + ":\n";
    for (int row = first; row <= highestWritten_; row += 16) {
      report += Hex4(static_cast<unsigned>(row));
      report += ' ';
      for (int column = 0; column < 16 && row + column < static_cast<int>(kFlashSize); ++column) {
        report += ' ';
        report += Hex2(flash_[static_cast<std::size_t>(row + column)]);
      }
      report += '\n';
    }
  } else {
    report +=
        erases_ > 0 ? "Flash erased, nothing written.\n" : "Flash not erased, nothing written.\n";
  }
  if (violations_.empty()) {
    report += "No timing violation.\n";
  } else {
    report += std::to_string(violations_.size()) + " timing violations:\n";
    for (const std::string& violation : violations_) report += "  " + violation + "\n";
  }
  return report;
}
