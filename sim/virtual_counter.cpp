#include "sim/virtual_counter.h"

#include "serial/device_seam.h"

namespace virtual_counter {
namespace {
std::int64_t now = 0;
std::int64_t step = kDefaultStepNs;
}  // namespace

void Reset(std::int64_t stepNs) {
  now = 0;
  step = stepNs;
}

std::int64_t NowNs() { return now; }

void AdvanceTo(std::int64_t ns) {
  if (ns > now) now = ns;
}

}  // namespace virtual_counter

namespace counter_seam {

std::int64_t CounterFrequency() { return 1'000'000'000; }

std::int64_t ReadCounter() {
  virtual_counter::now += virtual_counter::step;
  return virtual_counter::now;
}

}  // namespace counter_seam
