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

constexpr std::uint8_t kByteWrite = 0x40;
constexpr std::uint8_t kPageWrite = 0x50;
constexpr std::uint8_t kByteRead = 0x20;
constexpr std::uint8_t kPageRead = 0x30;
constexpr std::uint8_t kSignatureRead = 0x28;

// Bytes of an instruction, from its first: a page's address and its 64
// bytes, or four.
std::size_t LengthOf(std::uint8_t opcode) {
  return opcode == kPageWrite || opcode == kPageRead ? 3 + ChipModel::kPageSize : 4;
}

int AddressOf(const std::uint8_t* bytes) { return (bytes[1] << 8) | bytes[2]; }

// The low six address bits of a page instruction are ignored.
int PageOf(int address) { return address & ~static_cast<int>(ChipModel::kPageSize - 1); }

// The instructions that the report sums up in runs, and what it calls them.
struct RunName {
  const char* verb = nullptr;
  const char* unit = nullptr;
};
RunName RunNameOf(std::uint8_t opcode) {
  switch (opcode) {
    case kByteWrite: return {"Write", "bytes"};
    case kPageWrite: return {"Write", "pages"};
    case kByteRead: return {"Read", "bytes"};
    case kPageRead: return {"Read", "pages"};
    default: return {};
  }
}

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

void ChipModel::SetFlash(std::span<const std::uint8_t, kFlashSize> contents) {
  std::copy(contents.begin(), contents.end(), flash_.begin());
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

bool ChipModel::Miso() const {
  const int bit = bitCount_ - 24;
  if (bit < 0 || bit >= answerLength_ * 8) return true;
  return ((answer_[static_cast<std::size_t>(bit / 8)] >> (7 - bit % 8)) & 1) != 0;
}

void ChipModel::OnDtr(const LineEvent& event) {
  if (event.on == dtr_) return;
  dtr_ = event.on;
  if (!dtr_ && bitCount_ != 0) {
    Violation(event.ns, "reset released in the middle of an instruction (" +
                            std::to_string(bitCount_) + " bits)");
  }
  if (event.ns < busyUntilNs_) {
    Violation(event.ns, "reset during the write cycle, " + Us(busyUntilNs_ - event.ns) +
                            " before it had finished");
  }
  // Any edge of reset starts the framing anew and leaves programming mode.
  bitCount_ = 0;
  received_ = {};
  answerLength_ = 0;
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
    // Whether that is allowed depends on what the instruction turns out to be.
    begunBusyNs_ = std::max<std::int64_t>(0, busyUntilNs_ - event.ns);
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
  received_[index] = static_cast<std::uint8_t>((received_[index] << 1) | bit);
  if (++bitCount_ % 8 == 0) OnByte(static_cast<std::size_t>(bitCount_ / 8), ns);
}

void ChipModel::OnByte(std::size_t count, std::int64_t ns) {
  const std::uint8_t opcode = received_[0];
  // During a write cycle only a read may come, to poll the cells written.
  if (count == 1 && begunBusyNs_ > 0 && opcode != kByteRead) BusyViolation();
  if (count == 3) PrepareAnswer(ns);
  if (count < LengthOf(opcode)) return;
  bitCount_ = 0;
  answerLength_ = 0;
  instructionSinceReset_ = true;
  ChipInstruction instruction{instructionStartNs_,
                              {received_[0], received_[1], received_[2], received_[3]}};
  instruction.more.assign(received_.begin() + 4,
                          received_.begin() + static_cast<std::ptrdiff_t>(count));
  received_ = {};
  instructions_.push_back(std::move(instruction));
  Execute(instructions_.back(), ns);
}

void ChipModel::PrepareAnswer(std::int64_t ns) {
  answerLength_ = 0;
  if (!enabled_) return;  // a chip out of programming mode says nothing
  const int address = AddressOf(received_.data());
  auto cell = [this](int at) {
    return at < static_cast<int>(kFlashSize) ? flash_[static_cast<std::size_t>(at)] : 0xFF;
  };
  switch (received_[0]) {
    case kSignatureRead: {
      const unsigned index = received_[2] - 0x30u;
      answer_[0] = index < kSignature.size() ? kSignature[index] : 0xFF;
      answerLength_ = 1;
      return;
    }
    case kByteRead: {
      answerLength_ = 1;
      answer_[0] = cell(address);
      if (begunBusyNs_ == 0) return;
      if (address != pollAddress_) {
        BusyViolation();
      } else if (ns < busyUntilNs_) {
        answer_[0] = pollDatum_ ^ 0x80;
      }
      return;
    }
    case kPageRead: {
      const int page = PageOf(address);
      for (std::size_t i = 0; i < kPageSize; ++i) answer_[i] = cell(page + static_cast<int>(i));
      answerLength_ = static_cast<int>(kPageSize);
      return;
    }
    default: return;
  }
}

void ChipModel::Execute(const ChipInstruction& instruction, std::int64_t ns) {
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
    ++programmings_;
    lowestWritten_ = highestWritten_ = -1;
    busyUntilNs_ = ns + kEraseNs;
    pollAddress_ = -1;
    return;
  }
  const int address = AddressOf(b.data());
  const bool beyond = address >= static_cast<int>(kFlashSize);
  switch (b[0]) {
    case kByteWrite:
      busyUntilNs_ = ns + kByteWriteNs;
      pollAddress_ = address;
      pollDatum_ = b[3];
      if (beyond) break;
      Program(address, b[3]);
      ++programmings_;
      return;
    case kPageWrite: {
      const int page = PageOf(address);
      busyUntilNs_ = ns + pageWriteNs_;
      pollAddress_ = page + static_cast<int>(kPageSize) - 1;
      pollDatum_ = instruction.more.back();
      if (page >= static_cast<int>(kFlashSize)) break;
      Program(page, b[3]);
      for (std::size_t i = 0; i < instruction.more.size(); ++i) {
        Program(page + 1 + static_cast<int>(i), instruction.more[i]);
      }
      ++programmings_;
      return;
    }
    case kByteRead:
    case kPageRead:
      if (!beyond) return;
      Violation(instruction.ns,
                "read of " + Hex4(static_cast<unsigned>(address)) + ", beyond the flash");
      return;
    default: return;
  }
  Violation(instruction.ns,
            "write to " + Hex4(static_cast<unsigned>(address)) + ", beyond the flash");
}

void ChipModel::Program(int address, std::uint8_t data) {
  // Programming only clears bits; only an erase sets them again. A byte
  // sent as 0xFF leaves its cell alone.
  std::uint8_t& cell = flash_[static_cast<std::size_t>(address)];
  cell &= data;
  if (address == weakCell_ && data != 0xFF) cell ^= 0x01;
  lowestWritten_ = lowestWritten_ < 0 ? address : std::min(lowestWritten_, address);
  highestWritten_ = std::max(highestWritten_, address);
}

void ChipModel::BusyViolation() {
  Violation(instructionStartNs_, "instruction begun " + Us(begunBusyNs_) +
                                     " before the previous write or erase had finished");
}

void ChipModel::Violation(std::int64_t ns, const std::string& what) {
  violations_.push_back(Ms(ns) + ": " + what);
}

std::string ChipModel::Report() const {
  std::string report = "Chip received " + std::to_string(instructions_.size()) + " instructions:\n";
  std::size_t i = 0;
  while (i < instructions_.size()) {
    const auto& b = instructions_[i].bytes;
    if (const RunName run = RunNameOf(b[0]); run.verb != nullptr) {
      std::size_t last = i;
      while (last + 1 < instructions_.size() && instructions_[last + 1].bytes[0] == b[0]) ++last;
      const int first = LengthOf(b[0]) > 4 ? PageOf(AddressOf(b.data())) : AddressOf(b.data());
      report += std::string("  ") + run.verb + " " + std::to_string(last - i + 1) + " " + run.unit +
                ", first at " + Hex4(static_cast<unsigned>(first)) + "\n";
      i = last + 1;
      continue;
    }
    if (IsProgrammingEnable(b)) {
      report += "  Programming Enable\n";
    } else if (IsChipErase(b)) {
      report += "  Chip Erase\n";
    } else if (b[0] == kSignatureRead) {
      report += "  Read Signature " + Hex2(b[2]) + "\n";
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
