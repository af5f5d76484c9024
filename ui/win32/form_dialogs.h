// The window's modal dialogs, behind one small interface so that tests can
// answer them without a dialog blocking.
#pragma once

#include <windows.h>

#include <string>

class FormDialogs {
 public:
  virtual ~FormDialogs() = default;
  // The chosen file's name, or an empty text when the user cancelled.
  virtual std::string AskFileName(HWND owner, const std::string& presetName) = 0;
  virtual void ShowErrorBox(HWND owner, const std::string& caption, const std::string& text) = 0;
};

// GetOpenFileNameA and MessageBox.
class Win32FormDialogs : public FormDialogs {
 public:
  std::string AskFileName(HWND owner, const std::string& presetName) override;
  void ShowErrorBox(HWND owner, const std::string& caption, const std::string& text) override;
};

// The open-file dialog of the window: the file name preset to a pattern,
// no filter list, no default extension.
class OpenFileDialog {
 public:
  explicit OpenFileDialog(FormDialogs& dialogs) : dialogs_(dialogs) {}
  std::string FileName;
  // True when a file was chosen; FileName then holds it.
  bool Execute(HWND owner);

 private:
  FormDialogs& dialogs_;
};
