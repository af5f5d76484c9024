// The procedures' state besides the port handle and the clock values: kept
// together, so that one call can return all of it to its start.
#pragma once

#include <cstdint>

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

// The counter's own rate, in ticks per millisecond: not MsPerTick, which
// before StartClock fits a slower counter.
double TicksPerMs();

// Spins until the counter has moved on from start by the ticks of a wait
// of durationMs, rounded up and one more, since start may have been read
// late in its tick: the wait is never shorter than asked.
void SpinFrom(std::int64_t start, double durationMs);

}  // namespace rezero_state
