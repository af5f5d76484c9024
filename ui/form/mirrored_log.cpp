#include "ui/form/mirrored_log.h"

#include <algorithm>

MirroredLog::MirroredLog(MemoText& memo) : memo_(memo) {}

void MirroredLog::Load() const {
  if (!inCommand_) model_ = TextLog(memo_.Text());
}

void MirroredLog::Changed(int line) {
  firstUnshownLine_ = std::min(firstUnshownLine_, std::max(line, 0));
  lastChangedLine_ = line;
}

void MirroredLog::AfterChange() {
  if (!inCommand_) Flush();
}

void MirroredLog::ClearLog() {
  Load();
  model_.ClearLog();
  Changed(0);
  AfterChange();
}

int MirroredLog::LineCount() const {
  Load();
  return model_.LineCount();
}

std::string MirroredLog::GetLine(int index) const {
  Load();
  return model_.GetLine(index);
}

void MirroredLog::SetLine(int index, const std::string& text) {
  Load();
  if (!model_.HasLine(index)) return;
  model_.SetLine(index, text);
  Changed(index);
  AfterChange();
}

void MirroredLog::AddLine(const std::string& text) {
  Load();
  // Changes the empty last line, or adds one after the last.
  Changed(model_.LineCount());
  model_.AddLine(text);
  AfterChange();
}

void MirroredLog::BeginCommand() {
  Load();
  inCommand_ = true;
  firstUnshownLine_ = INT_MAX;
}

void MirroredLog::EndCommand() {
  Flush();
  inCommand_ = false;
}

void MirroredLog::Flush() {
  if (firstUnshownLine_ == INT_MAX) return;
  memo_.ReplaceLinesFrom(firstUnshownLine_, model_.LinesFrom(firstUnshownLine_, "\r\n"));
  firstUnshownLine_ = INT_MAX;
}
