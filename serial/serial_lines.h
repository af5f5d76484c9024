// The lines of the serial port itself: each switch is one system call on
// PortHandle, each wait a spin on the host's counter.
#pragma once

#include "serial/line_driver.h"

class SerialLineDriver final : public LineDriver {
 public:
  void Switch(device_seam::LineCode code) override;
  void Wait(double durationMs) override;
  bool LineLost() override { return failed_; }
  // One system call, only while reading: CTS, where MISO may come back.
  bool ReadDataIn() override;
  bool CollectDataIn(std::span<bool> levels) override { return levels_.TakeInto(levels); }

  // A new port: no switch has failed on it yet.
  void Restart() {
    failed_ = false;
    levels_ = {};
  }

 private:
  bool failed_ = false;
  DataInLevels levels_;
};
