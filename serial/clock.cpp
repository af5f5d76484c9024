// The clock: a leaf of serial/, which reaches the lines only by the route
// that the port sets.
#include <cmath>

#include "serial/host_clock.h"
#include "serial/rezero.h"

double MsPerTick = host_clock::kInitialMsPerTick;
std::int64_t ClockStart = 0;

namespace host_clock {

WaitIdleWork* idleWork = nullptr;

namespace {
WaitRoute waitRoute = nullptr;
}  // namespace

double TicksPerMs() {
  const std::int64_t frequency = counter_seam::CounterFrequency();
  if (frequency > 0) return static_cast<double>(frequency) / 1000.0;
  return 1.0 / MsPerTick;
}

void SpinFrom(std::int64_t start, double durationMs) {
  const auto ticks =
      durationMs > 0 ? static_cast<std::int64_t>(std::ceil(durationMs * TicksPerMs())) + 1 : 0;
  while (counter_seam::ReadCounter() - start < ticks) {
  }
}

void HostWait(double durationMs) {
  const std::int64_t start = counter_seam::ReadCounter();
  // The idle work's time counts towards the wait, whose end is fixed first.
  if (idleWork != nullptr && durationMs >= kIdleWorkMinimumMs) idleWork->DuringWait();
  SpinFrom(start, durationMs);
}

void RouteWaits(WaitRoute route) { waitRoute = route; }

void Reset() {
  MsPerTick = kInitialMsPerTick;
  ClockStart = 0;
  idleWork = nullptr;
  waitRoute = nullptr;
}

}  // namespace host_clock

ScopedWaitIdleWork::ScopedWaitIdleWork(WaitIdleWork& work) : previous_(host_clock::idleWork) {
  host_clock::idleWork = &work;
}

ScopedWaitIdleWork::~ScopedWaitIdleWork() { host_clock::idleWork = previous_; }

void StartClock() {
  const std::int64_t frequency = counter_seam::CounterFrequency();
  // A counter without a frequency cannot time anything; keep the default
  // rather than dividing by zero.
  if (frequency > 0) MsPerTick = 1000.0 / static_cast<double>(frequency);
  ClockStart = counter_seam::ReadCounter();
}

double ElapsedMs() {
  return static_cast<double>(counter_seam::ReadCounter() - ClockStart) * MsPerTick;
}

void WaitMs(double durationMs) {
  if (host_clock::waitRoute != nullptr) {
    host_clock::waitRoute(durationMs);
  } else {
    host_clock::HostWait(durationMs);
  }
}
