#include "commands/port_probe.h"

#include "serial/rezero.h"

bool OpenPortToProbe(const std::string& portName) { return OpenPort(ModeStringForPort(portName)); }

void EndProbe() { ClosePort(); }

bool PortOpens(const std::string& portName) {
  const bool opened = OpenPortToProbe(portName);
  EndProbe();
  return opened;
}

void StartCommandClock() { StartClock(); }

std::vector<PresentPort> ListPresentPorts() { return PresentPorts(); }
