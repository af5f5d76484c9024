// A driver that runs a sequence without a port, for a dry run: it counts
// the switches and adds up the waits, so that a command's duration comes
// from the same code that draws its waveform.
#pragma once

#include "serial/line_driver.h"

struct LineWork {
  int modemSwitches = 0;  // DTR and RTS
  int breakSwitches = 0;  // TXD's break set or cleared
  double waitMs = 0;
  int misoReads = 0;  // each one system call like a switch
};

class CountingLineDriver final : public LineDriver {
 public:
  void Switch(device_seam::LineCode code) override {
    const bool isBreak =
        code == device_seam::LineCode::SetBreak || code == device_seam::LineCode::ClearBreak;
    ++(isBreak ? work_.breakSwitches : work_.modemSwitches);
  }
  void Wait(double durationMs) override {
    if (durationMs > 0) work_.waitMs += durationMs;
  }
  bool LineLost() const override { return false; }
  // A dry run reads nothing; the line is taken as off.
  bool ReadMiso() override {
    ++work_.misoReads;
    return levels_.Add(false);
  }
  bool CollectMiso(std::span<bool> levels) override { return levels_.TakeInto(levels); }

  const LineWork& Work() const { return work_; }

 private:
  LineWork work_;
  MisoLevels levels_;
};
