// The log's line rules on the window's EDIT control, in both of its modes.
#include <windows.h>

#include "log_lines_contract.h"
#include "ui/win32/edit_memo_text.h"
#include "ui/win32/wide_text.h"

namespace {

class EditTestMemo : public MemoText {
 public:
  EditTestMemo() { SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0); }
  virtual ~EditTestMemo() { DestroyWindow(edit_); }
  std::string Text() const override { return text_.Text(); }
  void ReplaceLinesFrom(int firstLine, const std::string& lines) override {
    text_.ReplaceLinesFrom(firstLine, lines);
  }
  void SetText(const std::string& text) { SetWindowTextW(edit_, WideFromUtf8(text).c_str()); }

 private:
  // Narrow, so that long lines wrap: wrapping must not change the lines.
  HWND edit_ = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 60,
                               200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  EditMemoText text_{edit_};
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(EditMemo, LogLinesContract,
                         testing::Values(&MemoOutsideCommand<EditTestMemo>,
                                         &MemoDuringCommand<EditTestMemo>),
                         [](const testing::TestParamInfo<LogFactory>& info) {
                           return std::string(info.index == 0 ? "Memo" : "MemoDuringCommand");
                         });
