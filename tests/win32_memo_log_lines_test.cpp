// The log's line rules on the window's EDIT control, in both of its modes.
#include <windows.h>

#include "log_lines_contract.h"
#include "ui/form/mirrored_log.h"
#include "ui/win32/edit_memo_text.h"
#include "ui/win32/wide_text.h"

namespace {

class EditMemo : public LogUnderTest {
 public:
  explicit EditMemo(bool duringCommand) : duringCommand_(duringCommand) {
    SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);
    if (duringCommand_) log_.BeginCommand();
  }
  ~EditMemo() override { DestroyWindow(edit_); }
  LogLines& Log() override { return log_; }
  void SetText(const std::string& text) override {
    if (duringCommand_) log_.EndCommand();
    SetWindowTextW(edit_, WideFromUtf8(text).c_str());
    if (duringCommand_) log_.BeginCommand();
  }
  std::string ShownText() override {
    log_.Flush();
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()))));
    return Utf8FromWide(text);
  }

 private:
  // Narrow, so that long lines wrap: wrapping must not change the lines.
  HWND edit_ = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 60,
                               200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  EditMemoText text_{edit_};
  MirroredLog log_{text_};
  bool duringCommand_;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    EditMemo, LogLinesContract,
    testing::Values(
        +[]() -> std::unique_ptr<LogUnderTest> { return std::make_unique<EditMemo>(false); },
        +[]() -> std::unique_ptr<LogUnderTest> { return std::make_unique<EditMemo>(true); }),
    [](const testing::TestParamInfo<LogFactory>& info) {
      return std::string(info.index == 0 ? "Memo" : "MemoDuringCommand");
    });
