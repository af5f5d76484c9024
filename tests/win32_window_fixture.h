// The Win32 window on fake ports in virtual time, with its dialogs
// answered by the test. Runs under Wine on a (virtual) display.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_chip_fixture.h"
#include "ui/win32/form1.h"

class ScriptedDialogs : public FormDialogs {
 public:
  std::string AskFileName(HWND /*owner*/, const std::string& presetName) override {
    presets.push_back(presetName);
    if (onAsk) onAsk();
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowErrorBox(HWND /*owner*/, const std::string& caption, const std::string& text) override {
    errorCaptions.push_back(caption);
    errors.push_back(text);
  }

  std::deque<std::string> answers;  // an empty answer is a cancelled dialog
  std::function<void()> onAsk;
  std::vector<std::string> presets;
  std::vector<std::string> errorCaptions;
  std::vector<std::string> errors;
};

class Win32WindowTest : public FakeChipTest {
 protected:
  void Start() { form_ = std::make_unique<TForm1>(GetModuleHandleW(nullptr), &dialogs_); }
  std::string Line(int index) const { return form_->Log().GetLine(index); }
  static bool Checked(HWND button) {
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  // Runs the window's messages as the program's loop does, until none is left.
  void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (form_ && form_->Handle && form_->PreTranslateMessage(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  ScriptedDialogs dialogs_;
  std::unique_ptr<TForm1> form_;
};
