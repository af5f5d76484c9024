// Reading what the preloaded fake serial device recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/line_event.h"

struct TraceRecord {
  std::int64_t ns = 0;
  std::string device;
  std::string call;  // "open", "TIOCMBIS", "tcsetattr", ...
  int argument = 0;
  int result = 0;  // 0, or minus the errno value
};

std::vector<TraceRecord> ReadTrace(const std::string& path);

// The line switches on one device that took effect, in order.
std::vector<LineEvent> LineEventsOf(const std::vector<TraceRecord>& trace,
                                    const std::string& device);
