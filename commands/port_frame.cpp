#include "commands/port_frame.h"

const char* ModeStringFor(int selectedPort) {
  return selectedPort == 1 ? "COM1:9600,N,8,1" : "COM2:9600,N,8,1";
}

PortFrame::PortFrame(int selectedPort)
    : port_(selectedPort == 1 ? 1 : 2), ready_(OpenPort(ModeStringFor(selectedPort))) {
  if (!ready_) ClosePort();
}

PortFrame::~PortFrame() {
  if (ready_) ClosePort();
}

std::optional<Fault> PortFrame::NotReady() const {
  if (ready_) return std::nullopt;
  return PortFault{PortFaultKind::NotReady, port_};
}
