// The program's one window on Win32: the log, the three commands and the
// port choice. What the window does, its handlers included, is MainForm's;
// this is its view.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/form/form_view.h"
#include "ui/form/main_form.h"
#include "ui/win32/edit_memo_text.h"
#include "ui/win32/form_dialogs.h"

// The view comes before the behaviour that is built on it.
class TForm1 : private FormView, public MainForm {
  // Declared first: the members below are built on them.
  std::unique_ptr<FormDialogs> ownDialogs_;
  FormDialogs& dialogs_;

 public:
  // Creates the window and its controls and runs FormCreate; the window is
  // not shown yet. dialogs answers the open-file dialog and the error box;
  // null means the real ones.
  explicit TForm1(HINSTANCE instance, FormDialogs* dialogs = nullptr);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  HWND Handle = nullptr;
  HWND Memo1 = nullptr;
  HWND FlashHex = nullptr;
  HWND RadioButton1 = nullptr;
  HWND RadioButton2 = nullptr;
  HWND Erase = nullptr;
  HWND FlashBin = nullptr;
  OpenFileDialog OpenDialog1;

  // Closing the window ends the message loop (the program's window does).
  bool EndsApplication = false;

  // The controls in tab order, for moving the focus with Tab.
  HWND NextInTabOrder(HWND control, bool backwards) const;
  // Handles a message before it is dispatched (Tab and Shift+Tab between
  // the controls); true when it was handled.
  bool PreTranslateMessage(const MSG& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls(HINSTANCE instance);
  void OnCommand(HWND control, WORD notification);
  void OnRadioButtonClicked(const std::string& portName);

  // FormView
  std::string Text() const override;
  void ReplaceLinesFrom(int firstLine, const std::string& lines) override;
  void ShowMemoLine(int line) override;
  void ShowSelectedPort(const std::string& portName) override;
  std::string AskFileName(const std::string& presetName) override;
  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  void SetCaption(const std::string& caption) override;
  void Repaint() override;
  void CloseWindow() override;
  std::string ExecutablePath() const override;

  std::unique_ptr<EditMemoText> memoText_;
  HFONT formFont_ = nullptr;
  HFONT memoFont_ = nullptr;
  // The port whose radio button is marked: a radio button's handler runs
  // only when the mark moves to it.
  std::string shownPort_ = "COM2";
  // The control that had the focus when the window was last deactivated.
  HWND lastFocus_ = nullptr;
};
