// The adapter code's names for the tty facts, until it includes
// serial/tty_facts.h itself.
#pragma once

#include "serial/tty_facts.h"

using tty_facts::LocateUsbSerial;
using tty_facts::SysfsRoot;
using tty_facts::UsbSerialLocation;
