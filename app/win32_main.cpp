#include <windows.h>

#include "ui/win32/form1.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int show) {
  TForm1 Form1(instance);
  Form1.EndsApplication = true;
  ShowWindow(Form1.Handle, show);
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (Form1.PreTranslateMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
