#include "sim/chip_model.h"

#include <algorithm>
#include <cstdio>

using namespace chip_opcodes;

namespace {

std::string Us(std::int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f us", static_cast<double>(ns) / 1e3);
  return text;
}

std::string Ns(double ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f ns", ns);
  return text;
}

std::string Ms(std::int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f ms", static_cast<double>(ns) / 1e6);
  return text;
}

}  // namespace

ChipModel::ChipModel() {
  for (std::size_t address = 0; address < kFlashSize; ++address) {
    flash_[address] = FactoryPattern(address);
  }
  eeprom_.fill(0xFF);
  userRow_.fill(0xFF);
  instructions_.reserve(1 << 14);
}

std::uint8_t ChipModel::FactoryPattern(std::size_t address) {
  return static_cast<std::uint8_t>((address * 37u + 0x5Au) ^ (address >> 8));
}

void ChipModel::SetFlash(std::span<const std::uint8_t, kFlashSize> contents) {
  std::copy(contents.begin(), contents.end(), flash_.begin());
}

void ChipModel::SetEeprom(std::span<const std::uint8_t> contents) {
  eeprom_.fill(0xFF);
  std::copy_n(contents.begin(), std::min(contents.size(), kEepromSize), eeprom_.begin());
}

void ChipModel::SetUserRow(std::span<const std::uint8_t> contents) {
  userRow_.fill(0xFF);
  std::copy_n(contents.begin(), std::min(contents.size(), kUserRowSize), userRow_.begin());
}

void ChipModel::SaveState(std::span<std::uint8_t, kStateSize> into) const {
  auto at = std::copy(flash_.begin(), flash_.end(), into.begin());
  at = std::copy(eeprom_.begin(), eeprom_.end(), at);
  at = std::copy(userRow_.begin(), userRow_.end(), at);
  *at++ = fuses_;
  *at = lockBits_;
}

void ChipModel::LoadState(std::span<const std::uint8_t, kStateSize> state) {
  SetFlash(state.first<kFlashSize>());
  SetEeprom(state.subspan(kFlashSize, kEepromSize));
  SetUserRow(state.subspan(kFlashSize + kEepromSize, kUserRowSize));
  SetFuses(state[kStateSize - 2]);
  SetLockBits(state[kStateSize - 1]);
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

bool ChipModel::Miso() const { return ((OutputOf(bitCount_ / 8) >> (7 - bitCount_ % 8)) & 1) != 0; }

std::uint8_t ChipModel::OutputOf(int byte) const {
  if (byte == 0) return 0xFF;
  if (byte >= 3 && byte - 3 < answerLength_) return answer_[static_cast<std::size_t>(byte - 3)];
  // Out of programming mode only a Programming Enable is echoed, once its
  // first two bytes are in, and not at all while fuse F1 forbids it.
  const bool listening =
      enabled_ ||
      (byte >= 2 && IsProgrammingEnable(received_[0], received_[1]) && !SerialProgrammingOff());
  return listening ? received_[static_cast<std::size_t>(byte - 1)] : 0xFF;
}

void ChipModel::OnDtr(const LineEvent& event) {
  if (event.on == dtr_) return;
  dtr_ = event.on;
  // A programmer that checks the echo cuts an instruction off after a
  // whole byte, or after a bit taken wrong; anywhere else it is a fault.
  const bool cutOff = bitCount_ % 8 == 0 || !garbles_.empty();
  if (!dtr_ && bitCount_ != 0 && !cutOff) {
    Violation(event.ns, "reset released in the middle of an instruction (" +
                            std::to_string(bitCount_) + " bits)");
  }
  if (event.ns < busyUntilNs_) {
    Violation(event.ns, "reset during the write cycle, " + Us(busyUntilNs_ - event.ns) +
                            " before it had finished");
  }
  // Any edge of reset starts the framing anew and leaves programming mode.
  if (bitCount_ != 0 || !garbles_.empty()) ++cutOff_;
  bitCount_ = 0;
  garbles_.clear();
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
  if (rts_) {
    rtsOnNs_ = event.ns;
  } else {
    lowBeforePulseNs_ = rtsOnNs_ < 0 ? kResetSettleNs : event.ns - rtsOnNs_;
    rtsOffNs_ = event.ns;
  }
  if (!dtr_) return;
  if (rts_) {
    if (bothOnSinceNs_ < 0 && !instructionSinceReset_ && bitCount_ == 0) {
      bothOnSinceNs_ = event.ns;  // the clock came to rest after reset
      return;
    }
    if (!PulseTooShort(event.ns)) TakeBit(event.ns);
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

// The chip samples SCK with its oscillator: a level held for fewer periods
// than that is not seen.
bool ChipModel::PulseTooShort(std::int64_t ns) {
  const double shortest = kClockPhasePeriods * periodNs_;
  const auto high = static_cast<double>(ns - rtsOffNs_);
  const auto low = static_cast<double>(lowBeforePulseNs_);
  if (high >= shortest && low >= shortest) return false;
  BitTakenWrong(ns, "clock " + (high < shortest ? "high for " + Ns(high) : "low for " + Ns(low)) +
                        ", under " + Ns(shortest) + ": the pulse not seen");
  return true;
}

void ChipModel::OnTxd(const LineEvent& event) {
  if (event.on == txdBreak_) return;
  txdBreak_ = event.on;
  const double hold = kHoldPeriods * periodNs_;
  if (dtr_ && lastBitNs_ >= 0 && static_cast<double>(event.ns - lastBitNs_) < hold) {
    BitTakenWrong(event.ns, "data changed " + Ns(static_cast<double>(event.ns - lastBitNs_)) +
                                " after the clock fell, under " + Ns(hold));
    // The last bit taken is the lowest of its byte, unless it ended the instruction.
    if (bitCount_ > 0) {
      received_[static_cast<std::size_t>((bitCount_ - 1) / 8)] ^= 1;
    } else {
      // The instruction it ended was carried out as sent.
      ++bitsTakenWrong_;
      Violation(garbles_.back().first, "bit taken wrong: " + garbles_.back().second);
      garbles_.pop_back();
    }
  }
  lastTxdChangeNs_ = event.ns;
}

void ChipModel::TakeBit(std::int64_t ns) {
  bool zero = txdBreak_;  // the port inverts the data
  const double setup = kSetupPeriods * periodNs_;
  if (lastTxdChangeNs_ >= 0 && static_cast<double>(ns - lastTxdChangeNs_) < setup) {
    zero = !zero;  // the level before the change
    BitTakenWrong(ns, "data set up " + Ns(static_cast<double>(ns - lastTxdChangeNs_)) +
                          " before the clock fell, under " + Ns(setup));
  }
  lastBitNs_ = ns;
  const auto index = static_cast<std::size_t>(bitCount_ / 8);
  const std::uint8_t bit = zero ? 0 : 1;
  received_[index] = static_cast<std::uint8_t>((received_[index] << 1) | bit);
  if (++bitCount_ % 8 == 0) OnByte(static_cast<std::size_t>(bitCount_ / 8), ns);
}

void ChipModel::OnByte(std::size_t count, std::int64_t ns) {
  const std::uint8_t opcode = received_[0];
  // During a write cycle only a byte read may come, to poll it.
  if (count == 1 && begunBusyNs_ > 0 && OpcodeOf(opcode).access != Access::ReadByte) {
    BusyViolation();
  }
  if (count == 3) PrepareAnswer(ns);
  if (count < LengthOf(opcode)) return;
  bitCount_ = 0;
  answerLength_ = 0;
  instructionSinceReset_ = true;
  ChipInstruction instruction{instructionStartNs_,
                              {received_[0], received_[1], received_[2], received_[3]}};
  instruction.more.assign(received_.begin() + 4,
                          received_.begin() + static_cast<std::ptrdiff_t>(count));
  instruction.garbled = !garbles_.empty();
  for (const auto& [at, why] : garbles_) {
    ++bitsTakenWrong_;
    Violation(at, "bit taken wrong: " + why);
  }
  garbles_.clear();
  received_ = {};
  instructions_.push_back(std::move(instruction));
  Execute(instructions_.back(), ns);
}

// Counted once the instruction it garbles is carried out.
void ChipModel::BitTakenWrong(std::int64_t ns, const std::string& why) {
  garbles_.emplace_back(ns, why);
}

void ChipModel::BusyViolation() {
  Violation(instructionStartNs_, "instruction begun " + Us(begunBusyNs_) +
                                     " before the previous write or erase had finished");
}

void ChipModel::Violation(std::int64_t ns, const std::string& what) {
  violations_.push_back(Ms(ns) + ": " + what);
}

int ChipModel::GarbledWrites() const {
  int count = 0;
  for (const ChipInstruction& instruction : instructions_) {
    const auto& b = instruction.bytes;
    const bool writes = (b[0] == kAc && !IsProgrammingEnable(b[0], b[1])) ||
                        OpcodeOf(b[0]).access == Access::WriteByte ||
                        OpcodeOf(b[0]).access == Access::WritePage;
    if (instruction.garbled && writes) ++count;
  }
  return count;
}
