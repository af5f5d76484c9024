// One kind of line behind a port: the serial port itself, an adapter that
// clocks the lines out from samples, or a driver that only counts. The
// port's procedures (rezero.h) act on exactly one driver at a time, chosen
// when the port opens; the programming code above never asks which.
#pragma once

#include <optional>

#include "serial/device_seam.h"

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

  // Whether any switch failed since the driver took the lines. A driver
  // that gathers switches sends them first, so the answer covers them all.
  virtual bool LineLost() = 0;

  // The data line back from the chip, where the cable has one: true when
  // read, with its level in on.
  virtual bool ReadDataIn(bool& /*on*/) { return false; }

  // What a switch costs, where the driver knows it without timing one.
  virtual std::optional<LineCost> KnownCost() const { return std::nullopt; }

  // Lets go of the lines: whatever is still gathered goes out first.
  virtual void Release() {}
};
