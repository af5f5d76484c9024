#include "sim/level_shifter.h"

#include <algorithm>

LevelShifter::LevelShifter(std::int64_t settleNs) : settleNs_(settleNs) {
  // Room for the switches of a few settling times.
  inFlight_.reserve(64);
}

void LevelShifter::Feed(ChipModel& chip, const LineEvent& event) {
  bool& level = levels_[static_cast<std::size_t>(event.line)];
  if (event.on == level) return;  // no change
  level = event.on;
  if (settleNs_ <= 0) {
    chip.Feed(event);
    return;
  }
  // No later read looks further back than this.
  Deliver(chip, event.ns - settleNs_);
  const auto sameLine = std::find_if(inFlight_.rbegin(), inFlight_.rend(),
                                     [&](const LineEvent& e) { return e.line == event.line; });
  if (sameLine != inFlight_.rend() && event.ns - sameLine->ns < settleNs_) {
    // The line is back where it was before it could settle.
    inFlight_.erase(std::next(sameLine).base());
    return;
  }
  inFlight_.push_back(event);
}

bool LevelShifter::Miso(ChipModel& chip, std::int64_t ns) {
  Deliver(chip, ns - settleNs_);
  return chip.Miso();
}

void LevelShifter::Deliver(ChipModel& chip, std::int64_t ns) {
  auto arrived = inFlight_.begin();
  for (; arrived != inFlight_.end() && arrived->ns + settleNs_ <= ns; ++arrived) {
    chip.Feed(LineEvent{arrived->ns + settleNs_, arrived->line, arrived->on});
  }
  inFlight_.erase(inFlight_.begin(), arrived);
}
