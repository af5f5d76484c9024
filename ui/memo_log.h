// The log operations on the window's memo: its document's blocks are the
// lines between CR LFs, the last block being the empty last line.
#pragma once

#include <QElapsedTimer>
#include <climits>
#include <optional>

#include "image/log_lines.h"
#include "image/text_log.h"

class QPlainTextEdit;

class MemoLog : public LogLines {
 public:
  explicit MemoLog(QPlainTextEdit* memo);

  void ClearLog() override;
  int LineCount() const override;
  std::string GetLine(int index) const override;
  void SetLine(int index, const std::string& text) override;
  void AddLine(const std::string& text) override;

  // While a command runs, the operations work on a plain copy of the text,
  // and the memo is brought up to date only when the window repaints: the
  // document's layout work then falls inside the command's long waits
  // instead of lengthening the transfer.
  void BeginCommand();
  void EndCommand();

  // Brings the memo up to date and lets the window repaint, with the line
  // written last in view and user input left queued; at most about 30 times
  // a second.
  void RepaintIfDue();

 private:
  void Touched(int line);
  void Flush();

  QPlainTextEdit* memo_;
  std::optional<TextLog> commandLog_;
  int firstUnshownLine_ = INT_MAX;
  int lastChangedLine_ = 0;
  QElapsedTimer sinceRepaint_;
};
