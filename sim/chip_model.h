// What an AT89S8253 would make of a recorded waveform on its serial
// programming pins: DTR is reset, RTS the clock (a bit is taken when it
// returns on), TXD in break a 0 bit.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/line_event.h"

struct ChipInstruction {
  std::int64_t ns;  // when its first clock pulse began
  std::array<std::uint8_t, 4> bytes;
};

class ChipModel {
 public:
  static constexpr std::size_t kFlashSize = 12288;
  static constexpr std::int64_t kResetSettleNs = 10'000'000;
  static constexpr std::int64_t kDataStableNs = 10'000;
  static constexpr std::int64_t kEraseNs = 9'000'000;
  static constexpr std::int64_t kByteWriteNs = 4'500'000;

  ChipModel();

  // Not blank, and not all zeros, so that a missing erase shows.
  static std::uint8_t FactoryPattern(std::size_t address);

  void Feed(const LineEvent& event);
  void Feed(std::span<const LineEvent> events);

  const std::vector<ChipInstruction>& Instructions() const { return instructions_; }
  const std::array<std::uint8_t, kFlashSize>& Flash() const { return flash_; }
  const std::vector<std::string>& Violations() const { return violations_; }
  int EraseCount() const { return erases_; }

  // The decoded instructions in short, a hex dump of the written range and
  // every timing violation, for a person reading it after a run.
  std::string Report() const;

 private:
  void OnDtr(const LineEvent& event);
  void OnRts(const LineEvent& event);
  void OnTxd(const LineEvent& event);
  void TakeBit(std::int64_t ns);
  void Execute(const ChipInstruction& instruction);
  void Violation(std::int64_t ns, const std::string& what);

  bool dtr_ = false;
  bool rts_ = false;
  bool txdBreak_ = false;
  std::int64_t bothOnSinceNs_ = -1;
  std::int64_t lastTxdChangeNs_ = -1;
  std::int64_t lastBitNs_ = -1;
  std::int64_t busyUntilNs_ = 0;
  bool enabled_ = false;
  bool instructionSinceReset_ = false;

  int bitCount_ = 0;  // bits of the instruction being shifted in
  std::int64_t instructionStartNs_ = 0;
  std::array<std::uint8_t, 4> shift_{};

  std::array<std::uint8_t, kFlashSize> flash_{};
  std::vector<ChipInstruction> instructions_;
  std::vector<std::string> violations_;
  int erases_ = 0;
  int lowestWritten_ = -1;
  int highestWritten_ = -1;
};
