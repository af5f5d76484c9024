// The chip's serial programming interface, built from the port lines:
// DTR is reset, RTS the clock, TXD held in break a 0 bit on the data input.
#pragma once

#include <array>
#include <cstdint>

using IspInstruction = std::array<std::uint8_t, 4>;

inline constexpr IspInstruction kProgrammingEnable{0xAC, 0x53, 0x00, 0x00};
inline constexpr IspInstruction kChipErase{0xAC, 0x80, 0x00, 0x00};
inline constexpr std::uint8_t kWriteProgramMemory = 0x40;

// What a piece of the waveform costs: its line switches and its waits.
// Commands estimate their duration from it and the port's measured switch
// times. Each shape below follows the procedure of the same name; a test
// holds them to the waveform that the procedures produce.
struct LineWork {
  int modemSwitches = 0;  // DTR and RTS
  int breakSwitches = 0;  // TXD's break set or cleared
  double waitMs = 0;

  friend constexpr LineWork operator+(const LineWork& a, const LineWork& b) {
    return {a.modemSwitches + b.modemSwitches, a.breakSwitches + b.breakSwitches,
            a.waitMs + b.waitMs};
  }
  friend constexpr LineWork operator*(int times, const LineWork& work) {
    return {times * work.modemSwitches, times * work.breakSwitches, times * work.waitMs};
  }
};

inline constexpr double kBitPhaseMs = 0.01;
inline constexpr double kWriteCycleMs = 5;

// Per bit: data, clock off, clock on, each followed by a bit phase; after
// the byte one phase more and the data line back to break.
inline constexpr LineWork kIspByteWork{16, 9, 25 * kBitPhaseMs};
inline constexpr LineWork kIspInstructionWork = 4 * kIspByteWork;
inline constexpr LineWork kWriteFlashByteWork = kIspInstructionWork + LineWork{0, 0, kWriteCycleMs};
inline constexpr LineWork kEnterProgrammingWork =
    LineWork{5, 0, 100 + 100 + 10 + 10 + 500 + 10 + 100} + 3 * kIspInstructionWork;
inline constexpr LineWork kFinishProgrammingWork{2, 1, 0};
inline constexpr LineWork kEraseChipWork =
    LineWork{3, 0, 10 + 100 + 10 + 100 + 200} + 2 * kIspInstructionWork;

// Eight bits, most significant first; ends with the clock on and TXD in break.
void SendIspByte(std::uint8_t value);

// Thrown at the end of an instruction when a line switch failed since the
// port was opened: the port has gone, and whatever follows would be lost.
struct LineLost {};

// Thrown before an instruction when a cancel has been requested. The
// instruction before it has had its whole wait, so no write cycle or erase
// is cut short.
struct Cancelled {};

// Asks the running sequence to stop before its next instruction. Safe to
// call from a signal handler or another thread: one lock-free store. The
// request stands until it is withdrawn.
void RequestCancel();
void WithdrawCancel();
bool CancelRequested();

// Throws Cancelled when a cancel has been requested, then sends four bytes,
// then checks that the port still answers (throws LineLost).
void SendIspInstruction(const IspInstruction& instruction);

// One byte-mode write and the whole 5 ms the chip needs for it.
void WriteFlashByte(std::uint16_t address, std::uint8_t data);

// Reset, enable, erase, reset, enable: the chip is blank and ready to be
// written when it returns.
void EnterProgramming();

// Releases all three lines.
void FinishProgramming();

// Reset, enable, erase, and reset released: the body of the Erase command.
// The clock stays on and TXD in break.
void EraseChip();
