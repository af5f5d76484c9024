// The lines of the serial port itself: each switch is one system call on
// the handle the port gives it, each wait a spin on the host's counter.
#pragma once

#include "serial/line_driver.h"

class SerialLineDriver final : public LineDriver {
 public:
  void Switch(device_seam::LineCode code) override;
  void Wait(double durationMs) override;
  bool LineLost() const override { return lineLost_; }
  // One system call, only while reading: CTS, where MISO comes back.
  bool ReadMiso() override;
  bool CollectMiso(std::span<bool> levels) override { return levels_.TakeInto(levels); }

  // A new port: no switch has failed on it yet.
  void Restart() {
    lineLost_ = false;
    levels_ = {};
  }
  // The port's handle, whenever it changes.
  void Use(device_seam::Handle handle) { handle_ = handle; }

 private:
  device_seam::Handle handle_ = 0;
  bool lineLost_ = false;
  MisoLevels levels_;
};
