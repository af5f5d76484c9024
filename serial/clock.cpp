#include <cmath>

#include "serial/line_driver.h"
#include "serial/module_state.h"
#include "serial/rezero.h"

double MsPerTick = rezero_state::kInitialMsPerTick;
std::int64_t ClockStart = 0;

using rezero_state::idleWork;

namespace rezero_state {

WaitIdleWork* idleWork = nullptr;

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

}  // namespace rezero_state

ScopedWaitIdleWork::ScopedWaitIdleWork(WaitIdleWork& work) : previous_(idleWork) {
  idleWork = &work;
}

ScopedWaitIdleWork::~ScopedWaitIdleWork() { idleWork = previous_; }

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

void WaitMs(double durationMs) { ActiveLineDriver().Wait(durationMs); }
