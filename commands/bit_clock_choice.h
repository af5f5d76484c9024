// The bit clock of each command: the window's phase, a phase set by hand,
// or, where the chip answers, the one found from its echo.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "isp/readback.h"
#include "serial/line_driver.h"

// A phase for every command from now on (the command line's --clock-us);
// none: the window's, and a shorter one found where the chip answers.
void SetBitPhaseByHand(std::optional<double> phaseMs);

// At the start of each session: the phase set by hand or the window's, no
// echo checked. The port's switches set the shortest phase it can clock;
// exactPhases: the driver times each phase itself (LineCheck).
void StartBitClock(const LineCost& cost, bool exactPhases);

// The chip's check runs at the window's phase, whatever was set by hand.
void CheckAtWindowPhase();

// Once the chip has answered under the polarity with its signature at the
// window's phase: the phase found from its echo, or the one set by hand,
// each with the echo checked from then on (echo_check.h).
void TuneBitClock(MisoPolarity polarity, const std::array<std::uint8_t, 3>& signature);

struct BitClockUsed {
  double phaseMs = 0;                // as chosen
  std::optional<double> followedMs;  // the shortest the chip followed, where it was searched
  bool byHand = false;
  bool echoChecked = false;  // the chip answered, so its echo was checked
  int fallbacks = 0;         // echoes that came back wrong after the choice
};

// What the last command chose, and whether it had to drop back.
BitClockUsed LastBitClock();
