#include "commands/port_probe.h"

bool OpenPortToProbe(const std::string& portName) { return OpenPort(ModeStringForPort(portName)); }

bool PortOpens(const std::string& portName) {
  const bool opened = OpenPortToProbe(portName);
  ClosePort();
  return opened;
}
