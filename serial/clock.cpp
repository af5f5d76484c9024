#include "serial/rezero.h"

double MsPerTick = 0.000838;
std::int64_t ClockStart = 0;

namespace {
WaitIdleWork idleWork = nullptr;
}  // namespace

void SetWaitIdleWork(WaitIdleWork work) { idleWork = work; }

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
  const double end = ElapsedMs() + durationMs;
  if (idleWork != nullptr && durationMs >= kIdleWorkMinimumMs) idleWork();
  while (end > ElapsedMs()) {
  }
}
