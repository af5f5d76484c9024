#include <time.h>

#include "serial/device_seam.h"

namespace counter_seam {

std::int64_t CounterFrequency() { return 1'000'000'000; }

// CLOCK_MONOTONIC is read through the vDSO: no system call per reading.
std::int64_t ReadCounter() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace counter_seam
