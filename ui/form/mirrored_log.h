// The log's line operations on a window's memo. The model (TextLog) holds
// the line rules; the memo mirrors it. While a command runs the memo is read
// once and updated only when the window repaints, so that the toolkit's
// layout work falls inside the command's long waits.
#pragma once

#include <climits>

#include "commands/log_lines.h"
#include "commands/text_log.h"
#include "ui/form/form_view.h"

class MirroredLog : public LogLines {
 public:
  explicit MirroredLog(MemoText& memo);

  void ClearLog() override;
  int LineCount() const override;
  std::string GetLine(int index) const override;
  void SetLine(int index, const std::string& text) override;
  void AddLine(const std::string& text) override;

  void BeginCommand();
  void EndCommand();
  // Brings the memo up to date with the model.
  void Flush();
  int LastChangedLine() const { return lastChangedLine_; }

 private:
  // Outside a command the memo may have been edited: read it first.
  void Load() const;
  void Changed(int line);
  void AfterChange();

  MemoText& memo_;
  mutable TextLog model_;
  bool inCommand_ = false;
  int firstUnshownLine_ = INT_MAX;
  int lastChangedLine_ = 0;
};
