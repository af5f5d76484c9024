#include <cmath>

#include "serial/bitbang_lines.h"
#include "serial/module_state.h"
#include "serial/rezero.h"

double MsPerTick = rezero_state::kInitialMsPerTick;
std::int64_t ClockStart = 0;

using rezero_state::idleWork;

namespace {

// The counter's own rate, not MsPerTick: before StartClock, MsPerTick fits
// a 1.19 MHz counter, and a wait timed by it on a faster counter would end
// early.
double TicksPerMs() {
  const std::int64_t frequency = counter_seam::CounterFrequency();
  if (frequency > 0) return static_cast<double>(frequency) / 1000.0;
  return 1.0 / MsPerTick;
}

}  // namespace

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

void WaitMs(double durationMs) {
  // On an adapter that clocks out the lines, the wait is samples.
  if (rezero_state::linesOnAdapter && bitbang::Wait(durationMs)) return;
  const std::int64_t start = counter_seam::ReadCounter();
  // Whole ticks, rounded up, and one more: the first reading may have come
  // late in its tick. The wait is never shorter than asked.
  const auto ticks =
      durationMs > 0 ? static_cast<std::int64_t>(std::ceil(durationMs * TicksPerMs())) + 1 : 0;
  if (idleWork != nullptr && durationMs >= kIdleWorkMinimumMs) idleWork->DuringWait();
  while (counter_seam::ReadCounter() - start < ticks) {
  }
}
