// What flash89-cli says on its error stream: messages behind the program's
// name, and a running command's progress, redrawn in place on a terminal
// or as a few plain lines elsewhere.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "commands/progress.h"

inline constexpr const char* kCliName = "flash89-cli";

class CliOutput : public ProgressListener {
 public:
  enum class Mode {
    Terminal,  // one progress line, redrawn
    Plain,     // a line at each quarter of the way
    Quiet,     // errors only
  };
  // Milliseconds on a monotonic clock.
  using Clock = std::function<double()>;

  // A terminal is redrawn at most this often.
  static constexpr double kRedrawIntervalMs = 100;

  explicit CliOutput(std::ostream& err, Mode mode, Clock clock = SteadyClockMs);

  // Unless quiet.
  void Message(const std::string& text);
  // Always.
  void Error(const std::string& text);

  void OnProgress(const CommandProgress& progress) override;
  // Shows the last progress and ends its line: the next text starts on a
  // line of its own.
  void EndProgress();

  static double SteadyClockMs();

 private:
  void Draw(const CommandProgress& progress);
  void Line(const std::string& text);

  std::ostream& err_;
  Mode mode_;
  Clock clock_;
  // Terminal: the progress line on screen and one not yet drawn.
  bool lineOpen_ = false;
  std::size_t drawnLength_ = 0;
  double lastDrawMs_ = 0;
  std::optional<CommandProgress> undrawn_;
  // Plain: the next share, in percent, that gets a line.
  int nextQuarter_ = 25;
};
