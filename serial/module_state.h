// The procedures' state besides the port handle and the clock values: kept
// together, so that one call can return all of it to its start.
#pragma once

#include <cstdint>

#include "serial/rezero.h"

namespace rezero_state {

// Fits a counter of 1.19 MHz, until StartClock reads the real rate.
inline constexpr double kInitialMsPerTick = 0.000838;

// The work that long waits run, or null.
extern WaitIdleWork* idleWork;

// The counter's own rate, in ticks per millisecond: not MsPerTick, which
// before StartClock fits a slower counter.
double TicksPerMs();

// Spins until the counter has moved on from start by the ticks of a wait
// of durationMs, rounded up and one more, since start may have been read
// late in its tick: the wait is never shorter than asked.
void SpinFrom(std::int64_t start, double durationMs);

// A wait spun on the host, with the idle work inside a long one.
void HostWait(double durationMs);

}  // namespace rezero_state
