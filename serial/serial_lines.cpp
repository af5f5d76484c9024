#include "serial/serial_lines.h"

#include "serial/host_clock.h"

// The hot path of every bit: one call into the seam, one system call below.
void SerialLineDriver::Switch(device_seam::LineCode code) {
  if (!device_seam::SwitchLine(handle_, code)) lineLost_ = true;
}

void SerialLineDriver::Wait(double durationMs) { host_clock::HostWait(durationMs); }

bool SerialLineDriver::ReadMiso() {
  bool on = false;
  if (device_seam::ReadCts(handle_, on)) return levels_.Add(on);
  lineLost_ = true;
  return false;
}
