// What an AT89S8253 would make of a recorded waveform on its serial
// programming pins: DTR is reset, RTS the clock (a bit is taken when it
// returns on), TXD in break a 0 bit. It answers read instructions on its
// data output (MISO), which a fake cable may carry back to CTS.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/line_event.h"

struct ChipInstruction {
  std::int64_t ns;                    // when its first clock pulse began
  std::array<std::uint8_t, 4> bytes;  // the first four bytes it was sent
  // A page instruction's bytes after the fourth (63 of them); empty for
  // every four-byte instruction.
  std::vector<std::uint8_t> more = {};
};

class ChipModel {
 public:
  static constexpr std::size_t kFlashSize = 12288;
  static constexpr std::size_t kPageSize = 64;
  static constexpr std::int64_t kResetSettleNs = 10'000'000;
  static constexpr std::int64_t kDataStableNs = 10'000;
  static constexpr std::int64_t kEraseNs = 9'000'000;
  static constexpr std::int64_t kByteWriteNs = 4'500'000;
  // One write cycle for the whole page, as long as a byte's.
  static constexpr std::int64_t kPageWriteNs = 4'500'000;
  // The signature bytes at 0x30, 0x31 and 0x32; the third is a guess.
  static constexpr std::array<std::uint8_t, 3> kSignature = {0x1E, 0x73, 0x01};

  ChipModel();

  // Not blank, and not all zeros, so that a missing erase shows.
  static std::uint8_t FactoryPattern(std::size_t address);

  // A chip that was programmed before (by another process, say).
  void SetFlash(std::span<const std::uint8_t, kFlashSize> contents);
  // A cell that does not hold what is programmed into it: its lowest bit
  // flips whenever a byte other than 0xFF is written there.
  void SetWeakCell(std::size_t address) { weakCell_ = static_cast<std::int64_t>(address); }
  // A chip whose page write cycle is shorter or longer than kPageWriteNs.
  void SetPageWriteNs(std::int64_t ns) { pageWriteNs_ = ns; }

  void Feed(const LineEvent& event);
  void Feed(std::span<const LineEvent> events);

  // The data output after the events fed so far. The chip moves to its
  // next output bit when the clock returns to rest (RTS on), the edge on
  // which it takes an input bit: an answer's most significant bit is out
  // from the end of the address byte's last bit, and each bit holds for
  // the whole of the next clock pulse. High while nothing is shifted out.
  bool Miso() const;

  const std::vector<ChipInstruction>& Instructions() const { return instructions_; }
  const std::array<std::uint8_t, kFlashSize>& Flash() const { return flash_; }
  const std::vector<std::string>& Violations() const { return violations_; }
  int EraseCount() const { return erases_; }
  // Erases and writes carried out so far: when it changes, so may the flash.
  int ProgrammingCount() const { return programmings_; }

  // The decoded instructions in short, a hex dump of the written range and
  // every timing violation, for a person reading it after a run.
  std::string Report() const;

 private:
  static constexpr std::size_t kLongestInstruction = 3 + kPageSize;

  void OnDtr(const LineEvent& event);
  void OnRts(const LineEvent& event);
  void OnTxd(const LineEvent& event);
  void TakeBit(std::int64_t ns);
  void OnByte(std::size_t count, std::int64_t ns);
  void PrepareAnswer(std::int64_t ns);
  void Execute(const ChipInstruction& instruction, std::int64_t ns);
  void Program(int address, std::uint8_t data);
  void BusyViolation();
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
  std::int64_t begunBusyNs_ = 0;  // how much of a write cycle was left when it began
  std::array<std::uint8_t, kLongestInstruction> received_{};

  // The answer being shifted out after the third byte.
  std::array<std::uint8_t, kPageSize> answer_{};
  int answerLength_ = 0;

  // Data polling: during a write cycle only the last byte loaded may be
  // read, and it answers its datum with the top bit inverted; -1: none.
  int pollAddress_ = -1;
  std::uint8_t pollDatum_ = 0;

  std::array<std::uint8_t, kFlashSize> flash_{};
  std::int64_t weakCell_ = -1;
  std::int64_t pageWriteNs_ = kPageWriteNs;
  std::vector<ChipInstruction> instructions_;
  std::vector<std::string> violations_;
  int erases_ = 0;
  int programmings_ = 0;
  int lowestWritten_ = -1;
  int highestWritten_ = -1;
};
