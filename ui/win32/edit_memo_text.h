// A multi-line EDIT control as the log's memo. It holds the text with its
// CR LFs as they are; its own line numbers count wrapped lines, so lines
// are found in the text instead.
#pragma once

#include <windows.h>

#include "ui/form/form_view.h"

class EditMemoText : public MemoText {
 public:
  explicit EditMemoText(HWND edit) : edit_(edit) {}
  virtual ~EditMemoText() = default;

  std::string Text() const override;
  void ReplaceLinesFrom(int firstLine, const std::string& lines) override;
  // Moves the caret to the line's start and scrolls it into view.
  void ShowLine(int line);

 private:
  std::wstring WideText() const;
  HWND edit_;
};
