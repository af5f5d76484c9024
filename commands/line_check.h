// Whether the port just opened can carry the waveform, found by timing a
// few switches before the chip is reset. With reset (DTR) off the chip
// ignores its clock and data, so these switches reach it as nothing.
#pragma once

struct LineCost {
  double modemSwitchMs = 0;  // one DTR or RTS switch
  double breakSwitchMs = 0;  // one set or clear of TXD's break
};

enum class LineVerdict {
  Fit,
  LinesFailed,   // a DTR or RTS switch failed: the port has gone
  BreakRefused,  // a break switch failed
  BreakFaked,    // clearing the break waits for a character sent in its place
  BreakTooSlow,  // a break switch takes far longer than a modem-line switch
};

struct LineCheck {
  LineVerdict verdict = LineVerdict::Fit;
  LineCost cost;  // medians of the switches timed
};

// Switches RTS on and off, then TXD's break on and off, a few times each,
// and leaves both off, as the open left them; DTR is not touched. Times
// them on the command clock, which must be running (StartCommandClock).
LineCheck CheckLine();

// The switches that the check makes on a fit port.
inline constexpr int kLineCheckSwitches = 12;
