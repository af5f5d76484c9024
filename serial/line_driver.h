// One kind of line behind a port: the serial port itself, an adapter that
// clocks the lines out from samples, or a driver that only counts. The
// port's procedures (rezero.h) act on exactly one driver at a time, chosen
// when the port opens; the programming code above never asks which.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>

#include "serial/device_seam.h"

// The most readings of MISO, the chip's data out, that a driver holds until they are
// collected: the answer of a page read, 64 bytes of 8 bits.
inline constexpr std::size_t kMostMisoReadings = 512;

// Readings of MISO, held in order until they are collected.
class MisoLevels {
 public:
  bool Add(bool on) {
    if (count_ == levels_.size()) return false;
    levels_[count_++] = on;
    return true;
  }
  std::size_t Count() const { return count_; }
  // All of them into levels, which must hold exactly that many, and forgets them.
  bool TakeInto(std::span<bool> levels) {
    const bool whole = levels.size() == count_;
    for (std::size_t i = 0; whole && i < count_; ++i) levels[i] = levels_[i];
    count_ = 0;
    return whole;
  }

 private:
  std::array<bool, kMostMisoReadings> levels_{};
  std::size_t count_ = 0;
};

// What one line switch costs in time.
struct LineCost {
  double modemSwitchMs = 0;  // one DTR or RTS switch
  double breakSwitchMs = 0;  // one set or clear of TXD's break
};

class LineDriver {
 public:
  virtual ~LineDriver() = default;

  // Reset (DTR), clock (RTS) or data (TXD's break) to one state.
  virtual void Switch(device_seam::LineCode code) = 0;

  // Never shorter than asked. Long waits run the installed idle work.
  virtual void Wait(double durationMs) = 0;

  // Sends the switches and waits that the driver gathered, so that each
  // reaches its line or fails; nothing to do for one that switches at once.
  virtual void Flush() {}

  // Whether any switch failed since the driver took the lines: only asks.
  // For a driver that gathers switches, the answer covers those it sent.
  virtual bool LineLost() const = 0;

  // Reads MISO back from the chip, where the cable brings it, as
  // the lines stand at this point of the waveform. A driver that gathers
  // its switches reads it only when they go out, so the levels come later,
  // from CollectMiso. False when the line cannot be read.
  virtual bool ReadMiso() { return false; }

  // The levels read since the last collection, oldest first (true: on);
  // levels holds exactly that many. False when a reading failed.
  virtual bool CollectMiso(std::span<bool> /*levels*/) { return false; }

  // What a switch costs, where the driver knows it without timing one.
  virtual std::optional<LineCost> KnownCost() const { return std::nullopt; }

  // Lets go of the lines: whatever is still gathered goes out first.
  virtual void Release() {}
};
