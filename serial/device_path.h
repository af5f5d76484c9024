// The adapter code's name for a tty fact, until it includes
// serial/tty_facts.h itself.
#pragma once

#include "serial/tty_facts.h"

namespace device_seam {
using tty_facts::DevicePathFor;
}  // namespace device_seam
