// A serial device in virtual time whose every line switch takes a fixed
// time, as each switch on a USB serial adapter is a USB control transfer.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/line_event.h"

namespace slow_serial {

// Every port present and free; each switch takes switchNs.
void Reset(std::int64_t switchNs);
const std::vector<LineEvent>& Events();

}  // namespace slow_serial
