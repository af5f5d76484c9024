// Whether the port just opened can carry the waveform, found by timing a
// few switches before the chip is reset. With reset (DTR) off the chip
// ignores its clock and data, so these switches reach it as nothing.
#pragma once

#include "serial/line_driver.h"

enum class LineVerdict {
  Fit,
  LineLost,      // a DTR or RTS switch failed: the port has gone
  BreakRefused,  // a break switch failed
  BreakFaked,    // clearing the break waits for a character sent in its place
  BreakTooSlow,  // a break switch takes far longer than a modem-line switch
};

struct LineCheck {
  LineVerdict verdict = LineVerdict::Fit;
  LineCost cost;  // medians of the switches timed
  // The driver clocks the lines out itself (an adapter): every phase lasts
  // exactly as asked, to its sample, whatever the host does meanwhile.
  bool exactPhases = false;
};

// A driver that knows its switch cost (an adapter clocks out every switch
// itself) is fit as long as its lines are there. On a serial port: switches
// RTS on and off, then TXD's break on and off, a few times each, and leaves
// both off, as the open left them; DTR is not touched. Times them on the
// command clock, which must be running (StartClock).
LineCheck CheckLine();

// The switches that the check makes on a fit serial port.
inline constexpr int kLineCheckSwitches = 12;
