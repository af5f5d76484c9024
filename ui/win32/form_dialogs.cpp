#include "ui/win32/form_dialogs.h"

#include <commdlg.h>

#include "ui/win32/wide_text.h"

std::string Win32FormDialogs::AskFileName(HWND owner, const std::string& presetName) {
  char file[MAX_PATH] = {};
  presetName.copy(file, sizeof file - 1);
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (!GetOpenFileNameA(&dialog)) return {};
  return file;
}

void Win32FormDialogs::ShowErrorBox(HWND owner, const std::string& caption,
                                    const std::string& text) {
  MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(),
              MB_ICONERROR | MB_OK);
}

bool OpenFileDialog::Execute(HWND owner) {
  const std::string chosen = dialogs_.AskFileName(owner, FileName);
  if (chosen.empty()) return false;
  FileName = chosen;
  return true;
}
