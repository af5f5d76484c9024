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

  // While a command runs, every change may give the window a chance to
  // repaint, at most about 30 times a second, with user input left queued.
  void SetLiveRepaint(bool on);

 private:
  void Changed(int line);

  QPlainTextEdit* memo_;
  bool live_ = false;
  QElapsedTimer sinceRepaint_;
  int lastChangedLine_ = 0;
};
