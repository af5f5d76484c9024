#include "ui/cli/cli_output.h"

#include <chrono>
#include <cmath>

#include "commands/messages.h"

CliOutput::CliOutput(std::ostream& err, Mode mode, Clock clock)
    : err_(err), mode_(mode), clock_(std::move(clock)) {}

double CliOutput::SteadyClockMs() {
  using Ms = std::chrono::duration<double, std::milli>;
  return Ms(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void CliOutput::Message(const std::string& text) {
  if (mode_ != Mode::Quiet) Line(text);
}

void CliOutput::Error(const std::string& text) { Line(text); }

void CliOutput::Line(const std::string& text) {
  EndProgress();
  // One write, so that lines of other programs on the same stream do not
  // cut into it.
  std::string line = kCliName;
  line.append(": ").append(text).append("\n");
  err_ << line << std::flush;
}

void CliOutput::OnProgress(const CommandProgress& progress) {
  switch (mode_) {
    case Mode::Quiet: return;
    case Mode::Plain: {
      const int percent = static_cast<int>(std::floor(progress.fractionDone * 100.0));
      // The end is said by the message that follows the command.
      if (percent < nextQuarter_ || percent >= 100) return;
      nextQuarter_ = (percent / 25 + 1) * 25;
      Line(ProgressText(progress));
      return;
    }
    case Mode::Terminal: {
      const double now = clock_();
      if (lineOpen_ && now - lastDrawMs_ < kRedrawIntervalMs) {
        undrawn_ = progress;
        return;
      }
      lastDrawMs_ = now;
      Draw(progress);
      return;
    }
  }
}

void CliOutput::Draw(const CommandProgress& progress) {
  undrawn_.reset();
  std::string text = "\r";
  text.append(kCliName).append(": ").append(ProgressText(progress));
  // Blanks over what is left of a longer line before it.
  const std::size_t length = text.size();
  if (length < drawnLength_) text.append(drawnLength_ - length, ' ');
  drawnLength_ = length;
  lineOpen_ = true;
  err_ << text << std::flush;
}

void CliOutput::EndProgress() {
  if (!lineOpen_) return;
  if (undrawn_) Draw(*undrawn_);
  err_ << "\n" << std::flush;
  lineOpen_ = false;
  drawnLength_ = 0;
}
