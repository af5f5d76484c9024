// The level shifter of a cable between a port and the chip, which needs a
// while for a level to settle, each way. A port line's switch reaches the
// chip that long after it was made, and a level held for less than that
// never does: the pulse is swallowed. The chip's output reaches the port
// that long after it changed, so a read sooner than that shows the level
// before. With no settling time it is a plain wire.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/chip_model.h"
#include "sim/line_event.h"

class LevelShifter {
 public:
  LevelShifter() : LevelShifter(0) {}
  explicit LevelShifter(std::int64_t settleNs);

  // One switch of a port line, in time order.
  void Feed(ChipModel& chip, const LineEvent& event);
  // The chip's output as the port reads it at ns, no earlier than the last
  // switch fed.
  bool Miso(ChipModel& chip, std::int64_t ns);

 private:
  // Hands the chip every switch that arrives there by ns.
  void Deliver(ChipModel& chip, std::int64_t ns);

  std::int64_t settleNs_;
  std::array<bool, 3> levels_{};     // each PortLine at the port, all off at first
  std::vector<LineEvent> inFlight_;  // switched at the port, not yet at the chip
};
