// Trying a port the way the window does it, at start and when the port
// choice changes: the port as the user names it, "COM2". The rest of the
// window's start, ClosePort and StartClock, and the list of the ports
// present (PresentPorts) are the port module's own.
#pragma once

#include <string>

#include "serial/rezero.h"

// Opens the port and keeps it held: true when it is ready. The next probe
// or ClosePort lets go of it.
bool OpenPortToProbe(const std::string& portName);

// Opens the port and closes it again: true when it was ready.
bool PortOpens(const std::string& portName);
