#include "commands/port_probe.h"

#include "commands/port_session.h"
#include "serial/rezero.h"

bool OpenPortToProbe(int port) { return OpenPort(ModeStringFor(port)); }

void EndProbe() { ClosePort(); }

bool PortOpens(int port) {
  const bool opened = OpenPortToProbe(port);
  EndProbe();
  return opened;
}

void StartCommandClock() { StartClock(); }

std::vector<PresentPort> ListPresentPorts() { return PresentPorts(); }
