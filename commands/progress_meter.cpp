#include "commands/progress_meter.h"

#include <algorithm>

ProgressMeter::ProgressMeter(const CommandPlan& plan, ProgressListener* listener)
    : plan_(plan), listener_(listener), during_(*this) {
  const bool noSteps = plan_.bytes == 0 && plan_.pagesRead == 0;
  Mark(0, plan_.startMs + (noSteps ? plan_.finishMs : 0));
  Report();
}

void ProgressMeter::ByteWritten() { StepWritten(1); }

void ProgressMeter::StepWritten(std::size_t bytes) { Advance(1, bytes); }

void ProgressMeter::PageRead(std::size_t bytes) {
  ++pagesRead_;
  if (plan_.bytes == 0) bytesDone_ += bytes;
  MarkProgress();
  Report();
}

void ProgressMeter::Advance(std::size_t steps, std::size_t bytes) {
  bytesDone_ += bytes;
  stepsDone_ += steps;
  MarkProgress();
  // A polled write has no long wait to report in.
  Report();
}

// The writes, then the reads, then the finish: the next mark is the end of
// whichever comes next.
void ProgressMeter::MarkProgress() {
  const std::size_t steps = std::min(stepsDone_, plan_.bytes);
  const std::size_t pages = std::min(pagesRead_, plan_.pagesRead);
  double nextMs = plan_.finishMs;
  if (steps < plan_.bytes) {
    nextMs = plan_.perByteMs;
  } else if (pages < plan_.pagesRead) {
    nextMs = plan_.perPageReadMs;
  }
  Mark(plan_.startMs + static_cast<double>(steps) * plan_.perByteMs +
           static_cast<double>(pages) * plan_.perPageReadMs,
       nextMs);
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
