// Trying a port the way the window does it, at start and when the port
// choice changes: the port as the user names it, "COM2".
#pragma once

#include <string>
#include <vector>

#include "serial/rezero.h"

// Opens the port and keeps it held: true when it is ready. The next probe
// or EndProbe lets go of it.
bool OpenPortToProbe(const std::string& portName);
void EndProbe();

// Opens the port and closes it again: true when it was ready.
bool PortOpens(const std::string& portName);

// Starts the clock that times every wait; once, when the window has been
// created.
void StartCommandClock();

// The serial ports present, none of them opened.
std::vector<PresentPort> ListPresentPorts();
