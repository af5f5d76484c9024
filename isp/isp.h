// The chip's serial programming interface, built from the port lines:
// DTR is reset, RTS the clock, TXD held in break a 0 bit on the data input.
#pragma once

#include <array>
#include <cstdint>

#include "isp/cancel.h"

using IspInstruction = std::array<std::uint8_t, 4>;

inline constexpr IspInstruction kProgrammingEnable{0xAC, 0x53, 0x00, 0x00};
inline constexpr IspInstruction kChipErase{0xAC, 0x80, 0x00, 0x00};
inline constexpr std::uint8_t kWriteProgramMemory = 0x40;

inline constexpr double kBitPhaseMs = 0.01;
inline constexpr double kWriteCycleMs = 5;

// Eight bits, most significant first; ends with the clock on and TXD in break.
void SendIspByte(std::uint8_t value);

// Thrown at the end of an instruction when a line switch failed since the
// port was opened: the port has gone, and whatever follows would be lost.
struct LineLost {};

// Throws Cancelled when a cancel has been requested, then sends four bytes,
// then checks that the port still answers (throws LineLost).
void SendIspInstruction(const IspInstruction& instruction);

// The first three bytes of an instruction that carries more, or whose
// fourth byte is the chip's answer: the instruction, then address high and
// low. Throws Cancelled first, as SendIspInstruction does.
void SendIspHead(std::uint8_t instruction, std::uint16_t address);
// Throws LineLost when a line switch failed since the port was opened.
void RequireLinesHeld();

// One byte-mode write and the whole 5 ms the chip needs for it.
void WriteFlashByte(std::uint16_t address, std::uint8_t data);

// Reset held with the clock at rest, programming enabled; nothing is
// erased. The chip then answers read instructions.
void EnableProgramming();

// Reset, enable, erase, reset, enable: the chip is blank and ready to be
// written when it returns. Its start is EnableProgramming.
void EnterProgramming();

// Releases all three lines.
void FinishProgramming();

// Reset, enable, erase, and reset released: the body of the Erase command.
// The clock stays on and TXD in break.
void EraseChip();
