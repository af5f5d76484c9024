#include "commands/progress_meter.h"

#include <algorithm>

ProgressMeter::ProgressMeter(const CommandPlan& plan, ProgressListener* listener)
    : plan_(plan), listener_(listener), during_(*this) {
  Mark(0, plan_.startMs + (plan_.bytes == 0 ? plan_.finishMs : 0));
}

void ProgressMeter::ByteWritten() { StepWritten(1); }

void ProgressMeter::StepWritten(std::size_t bytes) { Advance(1, bytes); }

void ProgressMeter::BytesRead(std::size_t bytes) {
  Advance(bytes, bytes);
  Report();
}

void ProgressMeter::Advance(std::size_t steps, std::size_t bytes) {
  bytesDone_ += bytes;
  stepsDone_ += steps;
  const bool last = stepsDone_ >= plan_.bytes;
  Mark(plan_.startMs + static_cast<double>(stepsDone_) * plan_.perByteMs,
       last ? plan_.finishMs : plan_.perByteMs);
}

void ProgressMeter::Mark(double positionMs, double stepMs) {
  markedMs_ = positionMs;
  stepMs_ = stepMs;
  if (listener_ != nullptr) markedAt_ = ElapsedMs();
}

void ProgressMeter::DuringWait() {
  Report();
  if (WaitIdleWork* outer = during_.Previous()) outer->DuringWait();
}

void ProgressMeter::Report() {
  if (listener_ != nullptr) {
    const double now = ElapsedMs();
    if (!reported_ || now - reportedAt_ >= kProgressIntervalMs) {
      reported_ = true;
      reportedAt_ = now;
      const double totalMs = plan_.TotalMs();
      const double positionMs = markedMs_ + std::clamp(now - markedAt_, 0.0, stepMs_);
      CommandProgress progress;
      progress.bytesDone = bytesDone_;
      progress.bytesTotal = plan_.imageBytes != 0 ? plan_.imageBytes : plan_.bytes;
      progress.fractionDone = totalMs > 0 ? std::clamp(positionMs / totalMs, 0.0, 1.0) : 1.0;
      progress.msLeft = std::max(totalMs - positionMs, 0.0);
      listener_->OnProgress(progress);
    }
  }
}
