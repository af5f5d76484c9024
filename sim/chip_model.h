// What an AT89S8253 would make of a recorded waveform on its serial
// programming pins: DTR is reset, RTS the clock (a bit is taken when it
// returns on), TXD in break a 0 bit. It answers on its data output (MISO),
// which a fake cable may carry back to CTS: during each byte of an
// instruction it shifts out the byte received before it, and a read's
// answer in place of that echo.
//
// The chip follows its clock only as fast as its crystal allows. RTS on is
// SCK low, so a clock pulse (RTS off) is SCK high, and the chip takes MOSI
// when SCK falls, as RTS returns on. Each fault against those limits
// garbles a bit, and once the chip carries out the instruction it is a
// violation that begins "bit taken wrong":
// - SCK high, or the low before it, shorter than 8 crystal periods: the
//   chip does not see the pulse. It takes no bit and its output does not
//   move on, so the rest of the instruction and its echo slip by a bit.
// - MOSI changed less than a period before SCK fell: the chip takes the
//   level MOSI had before that change.
// - MOSI changed less than two periods after SCK fell: the chip takes the
//   new level (as long as the instruction is still being shifted in).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sim/chip_opcodes.h"
#include "sim/line_event.h"

struct ChipInstruction {
  std::int64_t ns;                    // when its first clock pulse began
  std::array<std::uint8_t, 4> bytes;  // the first four bytes it was sent
  // A page instruction's bytes after the fourth; empty for every four-byte
  // instruction.
  std::vector<std::uint8_t> more = {};
  bool garbled = false;  // a bit of it was taken wrong
};

class ChipModel {
 public:
  static constexpr std::size_t kFlashSize = 12288;
  static constexpr std::size_t kPageSize = 64;
  static constexpr std::size_t kEepromSize = 2048;
  static constexpr std::size_t kEepromPageSize = 32;
  static constexpr std::size_t kUserRowSize = 64;
  static constexpr std::int64_t kResetSettleNs = 10'000'000;
  static constexpr double kDefaultCrystalHz = 11'059'200;
  // SCK high and SCK low each last at least this many crystal periods.
  static constexpr int kClockPhasePeriods = 8;
  // MOSI is stable from one period before SCK falls to two after.
  static constexpr int kSetupPeriods = 1;
  static constexpr int kHoldPeriods = 2;
  static constexpr std::int64_t kEraseNs = 9'000'000;
  static constexpr std::int64_t kByteWriteNs = 4'500'000;
  // One write cycle for the whole page, as long as a byte's.
  static constexpr std::int64_t kPageWriteNs = 4'500'000;
  // The signature bytes at 0x30, 0x31 and 0x32; the third is a guess.
  static constexpr std::array<std::uint8_t, 3> kSignature = {0x1E, 0x73, 0x01};

  // The user fuses as read (bits 3..0: F4 F3 F2 F1); a fuse reads 0 when
  // programmed, which enables what it names.
  static constexpr std::uint8_t kSerialProgrammingFuse = 0x01;  // F1
  static constexpr std::uint8_t kX2ClockFuse = 0x02;            // F2
  static constexpr std::uint8_t kUserRowWritesFuse = 0x04;      // F3
  static constexpr std::uint8_t kClockSourceFuse = 0x08;        // F4: 0 external, 1 crystal
  // As from the factory: serial programming and user-row writes enabled,
  // no x2 clock, a crystal.
  static constexpr std::uint8_t kFactoryFuses = kX2ClockFuse | kClockSourceFuse;
  // The lock bits as read (bits 2..0: LB3 LB2 LB1); 0 is locked.
  static constexpr std::uint8_t kUnlocked = 0x07;

  // Everything the chip keeps without power, as SaveState writes it: the
  // flash, the EEPROM, the user row, the fuses and the lock bits.
  static constexpr std::size_t kStateSize = kFlashSize + kEepromSize + kUserRowSize + 2;

  ChipModel();

  // Not blank, and not all zeros, so that a missing erase shows.
  static std::uint8_t FactoryPattern(std::size_t address);

  // A chip that was programmed before (by another process, say).
  void SetFlash(std::span<const std::uint8_t, kFlashSize> contents);
  // From the lowest address; cells beyond contents stay blank.
  void SetEeprom(std::span<const std::uint8_t> contents);
  void SetUserRow(std::span<const std::uint8_t> contents);
  void SetFuses(std::uint8_t fuses) { fuses_ = fuses & 0x0F; }
  void SetLockBits(std::uint8_t lockBits) { lockBits_ = lockBits & kUnlocked; }
  void SaveState(std::span<std::uint8_t, kStateSize> into) const;
  void LoadState(std::span<const std::uint8_t, kStateSize> state);
  // A cell that does not hold what is programmed into it: its lowest bit
  // flips whenever a byte other than 0xFF is written there.
  void SetWeakCell(std::size_t address) { weakCell_ = static_cast<std::int64_t>(address); }
  // A chip whose page write cycle is shorter or longer than kPageWriteNs.
  void SetPageWriteNs(std::int64_t ns) { pageWriteNs_ = ns; }
  // The crystal on the chip's oscillator pins, which its clock limits scale with.
  void SetCrystalHz(double hz) { periodNs_ = 1e9 / hz; }

  void Feed(const LineEvent& event);
  void Feed(std::span<const LineEvent> events);

  // The data output after the events fed so far. The chip moves to its
  // next output bit when the clock returns to rest (RTS on), the edge on
  // which it takes an input bit: a byte's most significant bit is out from
  // the end of the previous byte's last bit, and each bit holds for the
  // whole of the next clock pulse. High between instructions, and while
  // the chip is not in programming mode, except for the echo of a
  // Programming Enable from its third byte on: that echo is how the
  // programmer knows the chip listens.
  bool Miso() const;

  const std::vector<ChipInstruction>& Instructions() const { return instructions_; }
  const std::array<std::uint8_t, kFlashSize>& Flash() const { return flash_; }
  const std::array<std::uint8_t, kEepromSize>& Eeprom() const { return eeprom_; }
  const std::array<std::uint8_t, kUserRowSize>& UserRow() const { return userRow_; }
  std::uint8_t Fuses() const { return fuses_; }
  std::uint8_t LockBits() const { return lockBits_; }
  const std::vector<std::string>& Violations() const { return violations_; }
  // Bits that reached the chip garbled in instructions it carried out,
  // each one also a violation.
  int BitsTakenWrong() const { return bitsTakenWrong_; }
  // Instructions cut off by a reset after a whole byte or a bit taken
  // wrong: never carried out, so no violation.
  int CutOff() const { return cutOff_; }
  // Garbled instructions that the chip carried out and that change what it
  // keeps: writes, erases, fuses and lock bits.
  int GarbledWrites() const;
  int EraseCount() const { return erases_; }
  // Erases and writes carried out so far: when it changes, so may the
  // state that SaveState writes.
  int ProgrammingCount() const { return programmings_; }

  // The decoded instructions in short, a hex dump of the written range of
  // the flash and of what the EEPROM and user row hold, the fuses, the lock
  // bits and every violation, for a person reading it after a run.
  std::string Report() const;

 private:
  static constexpr std::size_t kLongestInstruction = 3 + kPageSize;

  using Memory = chip_opcodes::Memory;

  void OnDtr(const LineEvent& event);
  void OnRts(const LineEvent& event);
  void OnTxd(const LineEvent& event);
  void TakeBit(std::int64_t ns);
  void OnByte(std::size_t count, std::int64_t ns);
  std::uint8_t OutputOf(int byte) const;

  // Instructions (chip_instructions.cpp).
  void PrepareAnswer(std::int64_t ns);
  void Execute(const ChipInstruction& instruction, std::int64_t ns);
  void ExecuteAc(const ChipInstruction& instruction, std::int64_t ns);
  void Write(const ChipInstruction& instruction, std::int64_t ns);
  void Busy(std::int64_t untilNs, bool erase);
  void Program(Memory memory, int address, std::uint8_t data);
  std::uint8_t* CellsOf(Memory memory);
  std::uint8_t ReadCell(Memory memory, int address) const;
  bool VerifyLocked() const { return (lockBits_ & 0x03) == 0; }
  bool SerialProgrammingOff() const { return (fuses_ & kSerialProgrammingFuse) != 0; }
  bool UserRowWritable() const { return (fuses_ & kUserRowWritesFuse) == 0; }

  bool PulseTooShort(std::int64_t ns);
  void BitTakenWrong(std::int64_t ns, const std::string& why);
  void BusyViolation();
  void Violation(std::int64_t ns, const std::string& what);

  bool dtr_ = false;
  bool rts_ = false;
  bool txdBreak_ = false;
  std::int64_t bothOnSinceNs_ = -1;
  std::int64_t lastTxdChangeNs_ = -1;
  std::int64_t lastBitNs_ = -1;
  std::int64_t rtsOnNs_ = -1;   // SCK last fell
  std::int64_t rtsOffNs_ = -1;  // SCK last rose
  std::int64_t lowBeforePulseNs_ = 0;
  double periodNs_ = 1e9 / kDefaultCrystalHz;
  int bitsTakenWrong_ = 0;
  // Bits of the instruction being shifted in that were taken wrong: when and why.
  std::vector<std::pair<std::int64_t, std::string>> garbles_;
  int cutOff_ = 0;
  std::int64_t busyUntilNs_ = 0;
  bool erasing_ = false;  // the cycle under way is an erase's
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
  Memory pollMemory_ = Memory::Flash;
  int pollAddress_ = -1;
  std::uint8_t pollDatum_ = 0;

  std::array<std::uint8_t, kFlashSize> flash_{};
  std::array<std::uint8_t, kEepromSize> eeprom_{};
  std::array<std::uint8_t, kUserRowSize> userRow_{};
  std::uint8_t fuses_ = kFactoryFuses;
  std::uint8_t lockBits_ = kUnlocked;
  std::int64_t weakCell_ = -1;
  std::int64_t pageWriteNs_ = kPageWriteNs;
  std::vector<ChipInstruction> instructions_;
  std::vector<std::string> violations_;
  int erases_ = 0;
  int programmings_ = 0;
  int lowestWritten_ = -1;
  int highestWritten_ = -1;
};
