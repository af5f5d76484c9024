#include "sim/virtual_counter.h"

#include "serial/device_seam.h"

namespace virtual_counter {
namespace {
std::int64_t now = 0;
std::int64_t step = kDefaultStepNs;
std::int64_t tick = 1;
std::int64_t readings = 0;
std::int64_t lateReading = 0;
std::int64_t late = 0;
bool lateAfter = false;
}  // namespace

void Reset(std::int64_t stepNs, std::int64_t tickNs) {
  now = 0;
  step = stepNs;
  tick = tickNs > 0 ? tickNs : 1;
  readings = 0;
  lateReading = 0;
  lateAfter = false;
}

void LateAtReading(std::int64_t reading, std::int64_t lateNs, bool andAfter) {
  lateReading = readings + reading;
  late = lateNs;
  lateAfter = andAfter;
}

std::int64_t Readings() { return readings; }

std::int64_t NowNs() { return now; }

void AdvanceTo(std::int64_t ns) {
  if (ns > now) now = ns;
}

}  // namespace virtual_counter

namespace counter_seam {

std::int64_t CounterFrequency() { return 1'000'000'000 / virtual_counter::tick; }

std::int64_t ReadCounter() {
  virtual_counter::now += virtual_counter::step;
  ++virtual_counter::readings;
  if (virtual_counter::readings == virtual_counter::lateReading ||
      (virtual_counter::lateAfter && virtual_counter::readings > virtual_counter::lateReading)) {
    virtual_counter::now += virtual_counter::late;
  }
  return virtual_counter::now / virtual_counter::tick;
}

}  // namespace counter_seam
