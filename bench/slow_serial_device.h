// A serial device in virtual time whose every line switch takes a fixed
// time, as each switch on a USB serial adapter is a USB control transfer.
// A chip sits on its lines, and answers on CTS where the cable brings MISO
// there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/cable.h"
#include "sim/line_event.h"

class ChipModel;

namespace slow_serial {

// Every port present and free; each switch takes switchNs. A new chip, as
// the chip's options name it (sim/chip_options.h).
void Reset(std::int64_t switchNs, Cable cable = Cable::NoLineBack,
           const std::string& chipOptions = {});
const std::vector<LineEvent>& Events();
// The chip, fed every switch so far.
ChipModel& Chip();

}  // namespace slow_serial
