// The readings of MISO that an adapter reading its pins was asked for, and
// those that came back. Samples are numbered from when the adapter was
// taken; the reading of a sample shows the lines just before it goes out.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "serial/adapter_pins.h"
#include "serial/line_driver.h"

class PinReadings {
 public:
  // The reading of sample is wanted. False once as many are held as can be.
  bool Ask(std::uint64_t sample) {
    if (askedCount_ == asked_.size()) return false;
    asked_[askedCount_++] = sample;
    return true;
  }
  bool LastAskedIs(std::uint64_t sample) const {
    return askedCount_ > 0 && asked_[askedCount_ - 1] == sample;
  }

  // The readings of a submission that came back, whose first sample is
  // first. Submissions come back oldest first, so the readings asked for
  // come in order; one that was skipped fails the collection.
  void Take(std::span<const std::uint8_t> readings, std::uint64_t first) {
    while (levels_.Count() < askedCount_ && asked_[levels_.Count()] < first + readings.size()) {
      const std::uint64_t sample = asked_[levels_.Count()];
      if (sample < first) {
        missing_ = true;
        return;
      }
      levels_.Add((readings[sample - first] & kMisoPin) == 0);
    }
  }
  // A submission's readings did not all arrive.
  void Missed() { missing_ = true; }

  // All the readings asked for, into levels; false when one is missing.
  // Forgets them either way.
  bool Collect(std::span<bool> levels) {
    const bool whole = !missing_ && levels_.Count() == askedCount_;
    askedCount_ = 0;
    missing_ = false;
    return levels_.TakeInto(levels) && whole;
  }

 private:
  std::array<std::uint64_t, kMostMisoReadings> asked_{};
  std::size_t askedCount_ = 0;
  bool missing_ = false;
  MisoLevels levels_;
};
