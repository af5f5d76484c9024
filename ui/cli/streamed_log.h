// The download log on a stream, one output line per log line, each exactly
// as the window shows it. A line is written once it is finished: when a
// line after it has begun, when the log is cleared, or when the command has
// ended. The downloads never go back to a finished line, so the stream
// holds every line the window showed, in the order the window showed them.
#pragma once

#include <functional>
#include <ostream>

#include "commands/log_lines.h"
#include "commands/text_log.h"

class StreamedLog : public LogLines {
 public:
  // beforeLines runs before each write of finished lines.
  explicit StreamedLog(std::ostream& out, std::function<void()> beforeLines = {});

  void ClearLog() override;
  int LineCount() const override;
  std::string GetLine(int index) const override;
  void SetLine(int index, const std::string& text) override;
  void AddLine(const std::string& text) override;

  // Writes the lines not yet written, the last one too.
  void Finish();

  // The log's text as the window would hold it now.
  std::string Text() const { return model_.Text(); }

 private:
  // Writes the lines before endLine that have not been written.
  void WriteUpTo(int endLine);
  // All but the last line are finished.
  void WriteFinished() { WriteUpTo(model_.LineCount() - 1); }

  std::ostream& out_;
  std::function<void()> beforeLines_;
  TextLog model_;
  int written_ = 0;
};
