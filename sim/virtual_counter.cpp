#include "sim/virtual_counter.h"

#include "serial/device_seam.h"

namespace virtual_counter {
namespace {
std::int64_t now = 0;
std::int64_t step = kDefaultStepNs;
std::int64_t tick = 1;
}  // namespace

void Reset(std::int64_t stepNs, std::int64_t tickNs) {
  now = 0;
  step = stepNs;
  tick = tickNs > 0 ? tickNs : 1;
}

std::int64_t NowNs() { return now; }

void AdvanceTo(std::int64_t ns) {
  if (ns > now) now = ns;
}

}  // namespace virtual_counter

namespace counter_seam {

std::int64_t CounterFrequency() { return 1'000'000'000 / virtual_counter::tick; }

std::int64_t ReadCounter() {
  virtual_counter::now += virtual_counter::step;
  return virtual_counter::now / virtual_counter::tick;
}

}  // namespace counter_seam
