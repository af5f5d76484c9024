// Instructions clocked faster than the window clocks them, to a chip that
// answers: each byte comes back on MISO one byte later, so every byte but
// the last is checked before the last is sent, and the chip carries out an
// instruction only on its last bit. One that came back wrong is cut off by
// a reset, programming is enabled again at the window's phase, and the
// instruction goes out whole at that phase: nothing garbled is ever carried
// out, and the command goes on at a clock the chip follows.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "isp/readback.h"

// Echoes are checked under the polarity while the bit phase is shorter
// than the window's; none: never, as the window sends.
void CheckEchoesUnder(std::optional<MisoPolarity> polarity);

// For a dry run, which reads nothing back: while it lives, instructions go
// out whole without their echo, as the window sends them.
class EchoChecksSuspended {
 public:
  EchoChecksSuspended();
  ~EchoChecksSuspended();
  EchoChecksSuspended(const EchoChecksSuspended&) = delete;
  EchoChecksSuspended& operator=(const EchoChecksSuspended&) = delete;

 private:
  std::optional<MisoPolarity> saved_;
};

// Thrown when the chip did not answer again after an echo came back wrong.
struct EchoLost {};

// How often the command has dropped back to the window's phase.
int EchoFallbacks();

// A whole instruction. Throws Cancelled before it, and LineLost after it,
// as SendIspInstruction does.
void SendCheckedInstruction(std::span<const std::uint8_t> instruction);

// The instruction, address high and low of a read whose answer follows.
void SendCheckedHead(std::uint8_t instruction, std::uint16_t address);

// Whether the bytes came back one byte later as sent, under the polarity:
// all but the last, whose echo comes only with the byte after it.
bool EchoedAsSent(std::span<const std::uint8_t> sent, MisoPolarity polarity);

// Reset, then programming enabled at the window's phase with its echo
// checked (EnableProgrammingAnswered). Throws EchoLost when the chip no
// longer answers under the polarity.
void DropToWindowPhase(MisoPolarity polarity);
