// The log operations on the window's memo: its document's blocks are the
// lines between CR LFs, the last block being the empty last line.
#pragma once

#include <QElapsedTimer>

#include "image/log_lines.h"

class QPlainTextEdit;

class MemoLog : public LogLines {
 public:
  explicit MemoLog(QPlainTextEdit* memo);

  void ClearLog() override;
  int LineCount() const override;
  std::string GetLine(int index) const override;
  void SetLine(int index, const std::string& text) override;
  void AddLine(const std::string& text) override;

  // Lets the window repaint while a command runs, with the line written last
  // in view and user input left queued; at most about 30 times a second.
  void RepaintIfDue();

 private:
  void Changed(int line);

  QPlainTextEdit* memo_;
  QElapsedTimer sinceRepaint_;
  int lastChangedLine_ = 0;
};
