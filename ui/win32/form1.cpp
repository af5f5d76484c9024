#include "ui/win32/form1.h"

#include <iterator>

#include "ui/win32/wide_text.h"

namespace {

constexpr wchar_t kWindowClass[] = L"TForm1";

// Outer frame of the window on the screen, in pixels at 96 dpi.
constexpr RECT kWindowFrame{205, 129, 205 + 492, 129 + 308};

constexpr int kFontHeight = 11;  // pixels, the characters' height

struct ControlLayout {
  HWND TForm1::*control;
  const wchar_t* windowClass;
  const wchar_t* text;
  DWORD style;
  DWORD extendedStyle;
  int left, top, width, height;  // within the window's client area
};

// In tab order. Radio buttons are marked by the window itself, so that a
// handler runs only when the mark moves.
const ControlLayout kControls[] = {
    {&TForm1::FlashHex, L"BUTTON", L"Flash hex", BS_PUSHBUTTON, 0, 16, 232, 89, 25},
    {&TForm1::Memo1, L"EDIT", L"", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, WS_EX_CLIENTEDGE,
     16, 16, 449, 209},
    {&TForm1::RadioButton1, L"BUTTON", L"COM1", BS_RADIOBUTTON | WS_CLIPSIBLINGS, 0, 336, 240, 73,
     9},
    {&TForm1::RadioButton2, L"BUTTON", L"COM2", BS_RADIOBUTTON | WS_CLIPSIBLINGS, 0, 392, 240, 57,
     9},
    {&TForm1::Erase, L"BUTTON", L"Erase", BS_PUSHBUTTON, 0, 224, 232, 89, 25},
    {&TForm1::FlashBin, L"BUTTON", L"Flash bin", BS_PUSHBUTTON, 0, 120, 232, 89, 25},
};

constexpr int kFirstControlId = 100;  // above IDOK and IDCANCEL

HFONT PixelFont(const wchar_t* face, DWORD pitchAndFamily) {
  return CreateFontW(-kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily,
                     face);
}

FormDialogs& DialogsOrOwn(FormDialogs* dialogs, std::unique_ptr<FormDialogs>& own) {
  if (dialogs != nullptr) return *dialogs;
  own = std::make_unique<Win32FormDialogs>();
  return *own;
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, L"MAINICON");
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);  // fails harmlessly for a second window
}

}  // namespace

TForm1::TForm1(HINSTANCE instance, FormDialogs* dialogs)
    : MainForm(static_cast<FormView&>(*this)),
      dialogs_(DialogsOrOwn(dialogs, ownDialogs_)),
      OpenDialog1(dialogs_) {
  RegisterWindowClass(instance, &TForm1::WindowProc);
  CreateWindowExW(0, kWindowClass, WideFromUtf8(MainForm::kCaption).c_str(), WS_OVERLAPPEDWINDOW,
                  kWindowFrame.left, kWindowFrame.top, kWindowFrame.right - kWindowFrame.left,
                  kWindowFrame.bottom - kWindowFrame.top, nullptr, nullptr, instance, this);
  CreateControls(instance);
  FormCreate();
}

TForm1::~TForm1() {
  if (Handle != nullptr) DestroyWindow(Handle);
  DeleteObject(formFont_);
  DeleteObject(memoFont_);
}

void TForm1::CreateControls(HINSTANCE instance) {
  formFont_ = PixelFont(L"MS Sans Serif", VARIABLE_PITCH | FF_SWISS);
  memoFont_ = PixelFont(L"Courier", FIXED_PITCH | FF_MODERN);
  SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(formFont_), FALSE);
  int id = kFirstControlId;
  for (const ControlLayout& layout : kControls) {
    HWND control =
        CreateWindowExW(layout.extendedStyle, layout.windowClass, layout.text,
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | layout.style, layout.left, layout.top,
                        layout.width, layout.height, Handle,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, nullptr);
    this->*layout.control = control;
    SendMessageW(control, WM_SETFONT,
                 reinterpret_cast<WPARAM>(layout.control == &TForm1::Memo1 ? memoFont_ : formFont_),
                 FALSE);
  }
  // The later radio button lies above the earlier one where they overlap.
  SetWindowPos(RadioButton2, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageW(RadioButton2, BM_SETCHECK, BST_CHECKED, 0);

  memoText_ = std::make_unique<EditMemoText>(Memo1);
  SendMessageW(Memo1, EM_SETLIMITTEXT, 0, 0);  // no limit but memory
  SetWindowTextW(Memo1, WideFromUtf8(MainForm::InitialMemoText()).c_str());
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->Handle = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return form->HandleMessage(message, wParam, lParam);
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = Handle;
  switch (message) {
    case WM_COMMAND: OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam)); return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE && IsChild(Handle, GetFocus())) lastFocus_ = GetFocus();
      break;
    case WM_SETFOCUS: SetFocus(lastFocus_ != nullptr ? lastFocus_ : FlashHex); return 0;
    case WM_CLOSE:
      if (CloseQuery()) DestroyWindow(Handle);
      return 0;
    case WM_DESTROY:
      if (EndsApplication) PostQuitMessage(0);
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      Handle = nullptr;
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void TForm1::OnCommand(HWND control, WORD notification) {
  if (notification != BN_CLICKED) return;
  if (control == FlashHex) FlashHexClick();
  if (control == FlashBin) FlashBinClick();
  if (control == Erase) EraseClick();
  if (control == RadioButton1) OnRadioButtonClicked("COM1");
  if (control == RadioButton2) OnRadioButtonClicked("COM2");
}

void TForm1::OnRadioButtonClicked(const std::string& portName) {
  if (portName == shownPort_) return;
  ShowSelectedPort(portName);
  if (portName == "COM1") RadioButton1Click();
  if (portName == "COM2") RadioButton2Click();
}

HWND TForm1::NextInTabOrder(HWND control, bool backwards) const {
  const int count = static_cast<int>(std::size(kControls));
  int index = backwards ? 0 : count - 1;  // from the window itself: the first or the last
  for (int i = 0; i < count; ++i) {
    if (this->*kControls[i].control == control) index = i;
  }
  return this->*kControls[(index + (backwards ? count - 1 : 1)) % count].control;
}

bool TForm1::PreTranslateMessage(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
  if (message.hwnd != Handle && !IsChild(Handle, message.hwnd)) return false;
  if (GetKeyState(VK_CONTROL) < 0) return false;  // Ctrl+Tab types a tab in the memo
  SetFocus(NextInTabOrder(GetFocus(), GetKeyState(VK_SHIFT) < 0));
  return true;
}

std::string TForm1::Text() const { return memoText_->Text(); }

void TForm1::ReplaceLinesFrom(int firstLine, const std::string& lines) {
  memoText_->ReplaceLinesFrom(firstLine, lines);
}

void TForm1::ShowMemoLine(int line) { memoText_->ShowLine(line); }

void TForm1::ShowSelectedPort(const std::string& portName) {
  shownPort_ = portName;
  SendMessageW(RadioButton1, BM_SETCHECK, portName == "COM1" ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageW(RadioButton2, BM_SETCHECK, portName == "COM2" ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string TForm1::AskFileName(const std::string& presetName) {
  OpenDialog1.FileName = presetName;
  if (!OpenDialog1.Execute(Handle)) return {};
  return OpenDialog1.FileName;
}

void TForm1::ShowErrorBox(const std::string& caption, const std::string& text) {
  dialogs_.ShowErrorBox(Handle, caption, text);
}

void TForm1::SetCaption(const std::string& caption) {
  SetWindowTextW(Handle, WideFromUtf8(caption).c_str());
}

void TForm1::Repaint() {
  // Paint messages only: input stays queued until the command has ended.
  // Peeking also lets Wine and Windows take in exposures and show what was
  // painted.
  MSG message;
  for (int i = 0; i < 64 && PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) {
    DispatchMessageW(&message);
  }
}

void TForm1::CloseWindow() { PostMessageW(Handle, WM_CLOSE, 0, 0); }

std::string TForm1::ExecutablePath() const {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}
