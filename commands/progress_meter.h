// Tells a progress listener how far a command has got, from the command's
// plan and the bytes written so far. It reports from inside the long waits,
// at most every kProgressIntervalMs, so that telling costs the waveform no
// time; a byte boundary only notes the byte.
#pragma once

#include <cstddef>

#include "commands/command_plan.h"
#include "commands/progress.h"
#include "serial/rezero.h"

inline constexpr double kProgressIntervalMs = 100;

class ProgressMeter : private WaitIdleWork {
 public:
  // Reports to nobody when listener is null. Runs from now until the end of
  // its scope.
  ProgressMeter(const CommandPlan& plan, ProgressListener* listener);
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;
  ~ProgressMeter() = default;

  void ByteWritten();
  // A step of the plan that wrote more than one byte (a page).
  void StepWritten(std::size_t bytes);
  // A page read back. Reads have no long waits to report in, so the
  // progress is reported here, between two reads. A command that only
  // reads counts the page's bytes as done; a download counts what it wrote.
  void PageRead(std::size_t bytes);

 private:
  void DuringWait() override;
  void Advance(std::size_t steps, std::size_t bytes);
  void MarkProgress();
  void Report();
  // Between two marks the command is taken to advance as the clock does,
  // but never past the next mark.
  void Mark(double positionMs, double stepMs);

  CommandPlan plan_;
  ProgressListener* listener_;
  ScopedWaitIdleWork during_;
  std::size_t bytesDone_ = 0;
  std::size_t stepsDone_ = 0;
  std::size_t pagesRead_ = 0;
  double markedMs_ = 0;  // where the command was at the last mark
  double stepMs_ = 0;    // the plan's length of the step since then
  double markedAt_ = 0;  // the clock at the last mark
  double reportedAt_ = 0;
  bool reported_ = false;
};
