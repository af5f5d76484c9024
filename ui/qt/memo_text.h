// A QPlainTextEdit as the log's memo: its blocks are the lines between
// CR LFs, the last block being the empty last line.
#pragma once

#include "ui/form/form_view.h"

class QPlainTextEdit;

class QtMemoText : public MemoText {
 public:
  explicit QtMemoText(QPlainTextEdit* memo) : memo_(memo) {}
  virtual ~QtMemoText() = default;

  std::string Text() const override;
  void ReplaceLinesFrom(int firstLine, const std::string& lines) override;
  void ShowLine(int line);

 private:
  QPlainTextEdit* memo_;
};
