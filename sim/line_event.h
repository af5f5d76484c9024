// One switch of a port line, stamped with the time at which it happened.
#pragma once

#include <cstdint>

enum class PortLine : std::uint8_t { Dtr, Rts, Txd };

struct LineEvent {
  std::int64_t ns;  // monotonic time
  PortLine line;
  bool on;  // DTR/RTS set, or TXD held in break
};
