// The procedures' state besides the port handle and the clock values: kept
// together, so that one call can return all of it to its start.
#pragma once

#include "serial/rezero.h"

namespace rezero_state {

// Fits a counter of 1.19 MHz, until StartClock reads the real rate.
inline constexpr double kInitialMsPerTick = 0.000838;

// Whether a line switch failed since the last OpenPort.
extern bool lineFailed;

// The work that long waits run, or null.
extern WaitIdleWork* idleWork;

// Whether the lines and waits go to an adapter that clocks them out itself
// (bitbang_lines.h) rather than to the serial device.
extern bool linesOnAdapter;

}  // namespace rezero_state
