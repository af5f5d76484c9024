// The states the port's lines are left in after a run's line switches.
#pragma once

#include <vector>

#include "sim/line_event.h"

struct LineStates {
  bool dtr = false, rts = false, txdBreak = false;

  bool AllReleased() const { return !dtr && !rts && !txdBreak; }
};

inline LineStates LinesAfter(const std::vector<LineEvent>& events) {
  LineStates lines;
  for (const LineEvent& event : events) {
    (event.line == PortLine::Dtr   ? lines.dtr
     : event.line == PortLine::Rts ? lines.rts
                                   : lines.txdBreak) = event.on;
  }
  return lines;
}
