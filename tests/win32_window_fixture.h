// The Win32 window on fake ports in virtual time, with its dialogs
// answered by the test. Runs under Wine on a (virtual) display.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "dialog_script.h"
#include "fake_chip_fixture.h"
#include "ui/win32/form1.h"

class ScriptedDialogs : public FormDialogs, public DialogScript {
 public:
  std::string AskFileName(HWND /*owner*/, const std::string& presetName) override {
    return Ask(presetName);
  }
  void ShowErrorBox(HWND /*owner*/, const std::string& caption, const std::string& text) override {
    ShowError(caption, text);
  }
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
