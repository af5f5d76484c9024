#include "serial/serial_lines.h"

#include "serial/module_state.h"
#include "serial/rezero.h"

// The hot path of every bit: one call into the seam, one system call below.
void SerialLineDriver::Switch(device_seam::LineCode code) {
  if (!device_seam::SwitchLine(PortHandle, code)) failed_ = true;
}

void SerialLineDriver::Wait(double durationMs) { rezero_state::HostWait(durationMs); }

bool SerialLineDriver::ReadDataIn() {
  bool on = false;
  if (device_seam::ReadCts(PortHandle, on)) return levels_.Add(on);
  failed_ = true;
  return false;
}
