// The clock's parts that the line drivers and the port build on: the
// counter's rate, spinning waits, the idle work of long waits, and the route
// by which WaitMs reaches the lines. The clock depends on nothing else in
// serial/: the port sets the route, the clock never asks for the port.
#pragma once

#include <cstdint>

#include "serial/wait_idle_work.h"

namespace host_clock {

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

// Where WaitMs sends its waits: the active line driver's, as the port sets
// it; null for the host's own spin, which is the serial port's wait.
using WaitRoute = void (*)(double durationMs);
void RouteWaits(WaitRoute route);

// The clock of a program that has just started: its initial values, no
// idle work, waits spun on the host.
void Reset();

}  // namespace host_clock
