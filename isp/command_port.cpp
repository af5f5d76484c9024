#include "isp/command_port.h"

#include "isp/command_error.h"
#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

// The port of the command that is running, for the text of a lost port.
int activePort = 2;

std::string PortName(int selectedPort) { return selectedPort == 1 ? "COM1" : "COM2"; }

}  // namespace

const char* ModeStringFor(int selectedPort) {
  return selectedPort == 1 ? "COM1:9600,N,8,1" : "COM2:9600,N,8,1";
}

void CheckPortConnected() {
  if (LineFailedSinceOpen()) {
    throw PortLostError("Verbindung zu " + PortName(activePort) + " unterbrochen");
  }
}

CommandPort::CommandPort(int selectedPort) {
  activePort = selectedPort;
  if (!OpenPort(ModeStringFor(selectedPort))) {
    ClosePort();
    throw PortNotReadyError(PortName(selectedPort) + " nicht bereit");
  }
}

CommandPort::~CommandPort() { ClosePort(); }
