#include "ui/cli/streamed_log.h"

#include <utility>

StreamedLog::StreamedLog(std::ostream& out, std::function<void()> beforeLines)
    : out_(out), beforeLines_(std::move(beforeLines)) {}

void StreamedLog::ClearLog() {
  Finish();
  model_.ClearLog();
  written_ = 0;
}

int StreamedLog::LineCount() const { return model_.LineCount(); }

std::string StreamedLog::GetLine(int index) const { return model_.GetLine(index); }

void StreamedLog::SetLine(int index, const std::string& text) {
  model_.SetLine(index, text);
  WriteFinished();
}

void StreamedLog::AddLine(const std::string& text) {
  model_.AddLine(text);
  WriteFinished();
}

void StreamedLog::Finish() { WriteUpTo(model_.LineCount()); }

void StreamedLog::WriteUpTo(int endLine) {
  if (written_ >= endLine) return;
  std::string lines;
  for (; written_ < endLine; ++written_) lines += model_.WholeLine(written_) + "\n";
  if (beforeLines_) beforeLines_();
  // Each line as soon as it is finished, also into a pipe or a file.
  out_ << lines << std::flush;
}
