// The Win32 window: its controls and tab order, and each control, the
// dialogs, the title and a close reaching the form.
#include <gtest/gtest.h>

#include "temp_files.h"
#include "ui/form/error_box.h"
#include "ui/win32/wide_text.h"
#include "win32_window_fixture.h"

using fake_serial::DeviceState;

namespace {

RECT ClientRectOf(HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

::testing::AssertionResult IsAt(HWND control, int left, int top, int width, int height) {
  const RECT place = ClientRectOf(control);
  if (place.left == left && place.top == top && place.right - place.left == width &&
      place.bottom - place.top == height) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "at " << place.left << "," << place.top << " size " << place.right - place.left << "x"
         << place.bottom - place.top;
}

}  // namespace

TEST_F(Win32WindowTest, ControlsStandWhereTheLayoutPutsThemAndStayWhenTheFrameIsResized) {
  Start();
  RECT frame{};
  GetWindowRect(form_->Handle, &frame);
  EXPECT_EQ(frame.left, 205);
  EXPECT_EQ(frame.top, 129);
  EXPECT_EQ(frame.right - frame.left, 492);
  EXPECT_EQ(frame.bottom - frame.top, 308);
  EXPECT_TRUE(GetWindowLongW(form_->Handle, GWL_STYLE) & WS_THICKFRAME);
  // Where the radio buttons overlap, a click goes to the later one.
  EXPECT_EQ(ChildWindowFromPoint(form_->Handle, POINT{400, 244}), form_->RadioButton2);
  for (int resized = 0; resized < 2; ++resized) {
    EXPECT_TRUE(IsAt(form_->Memo1, 16, 16, 449, 209));
    EXPECT_TRUE(IsAt(form_->FlashHex, 16, 232, 89, 25));
    EXPECT_TRUE(IsAt(form_->FlashBin, 120, 232, 89, 25));
    EXPECT_TRUE(IsAt(form_->Erase, 224, 232, 89, 25));
    EXPECT_TRUE(IsAt(form_->RadioButton1, 336, 240, 73, 9));
    EXPECT_TRUE(IsAt(form_->RadioButton2, 392, 240, 57, 9));
    SetWindowPos(form_->Handle, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
  }
}

TEST_F(Win32WindowTest, LogIsAnEditableWrappingMemoWithoutScrollBarsInCourier) {
  Start();
  const LONG style = GetWindowLongW(form_->Memo1, GWL_STYLE);
  EXPECT_TRUE(style & ES_MULTILINE);
  EXPECT_FALSE(style & (ES_READONLY | ES_AUTOHSCROLL | WS_HSCROLL | WS_VSCROLL));
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form_->Memo1, WM_GETFONT, 0, 0)), sizeof font,
             &font);
  EXPECT_STREQ(font.lfFaceName, L"Courier");
  EXPECT_EQ(font.lfHeight, -11);
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form_->FlashHex, WM_GETFONT, 0, 0)), sizeof font,
             &font);
  EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(form_->Log().LineCount(), 148);
}

TEST_F(Win32WindowTest, ClickingAPortProbesItAndTheMarkShowsThePortCommandsWillUse) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  fake_serial::SetDevice("COM2", DeviceState::Present);
  Start();
  EXPECT_TRUE(Checked(form_->RadioButton2));
  EXPECT_EQ(Line(1), "");

  SendMessageW(form_->RadioButton1, BM_CLICK, 0, 0);
  EXPECT_EQ(form_->SelectedPort, "COM1");
  EXPECT_TRUE(Checked(form_->RadioButton1));
  EXPECT_FALSE(Checked(form_->RadioButton2));
  EXPECT_EQ(Line(1), "COM1 geöffnet");

  // Clicking the marked port again does nothing.
  const int opens = fake_serial::Counts("COM1").opens;
  SendMessageW(form_->RadioButton1, BM_CLICK, 0, 0);
  EXPECT_EQ(fake_serial::Counts("COM1").opens, opens);

  fake_serial::SetDevice("COM2", DeviceState::Absent);
  SendMessageW(form_->RadioButton2, BM_CLICK, 0, 0);
  EXPECT_EQ(Line(1), "COM2 nicht bereit");
  EXPECT_EQ(form_->SelectedPort, "COM1");
  EXPECT_TRUE(Checked(form_->RadioButton1));
  EXPECT_FALSE(Checked(form_->RadioButton2));
}

TEST_F(Win32WindowTest, TabAndShiftTabWalkTheControlsInTabOrder) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  fake_serial::SetDevice("COM2", DeviceState::Present);
  Start();
  const std::vector<HWND> order{form_->FlashHex,     form_->Memo1, form_->RadioButton1,
                                form_->RadioButton2, form_->Erase, form_->FlashBin};
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(form_->NextInTabOrder(order[i], false), order[(i + 1) % order.size()]) << i;
    EXPECT_EQ(form_->NextInTabOrder(order[(i + 1) % order.size()], true), order[i]) << i;
  }

  // A Tab key press moves the focus on; a tab never reaches the memo.
  ShowWindow(form_->Handle, SW_SHOW);
  SetForegroundWindow(form_->Handle);
  SetFocus(form_->Memo1);
  Pump();
  ASSERT_EQ(GetFocus(), form_->Memo1);
  const std::string text = form_->Log().GetLine(0);
  PostMessageW(form_->Memo1, WM_KEYDOWN, VK_TAB, 0);
  Pump();
  EXPECT_EQ(GetFocus(), form_->RadioButton1);
  EXPECT_EQ(form_->Log().GetLine(0), text);
  PostMessageW(form_->RadioButton1, WM_KEYDOWN, VK_TAB, 0);
  Pump();
  EXPECT_EQ(GetFocus(), form_->RadioButton2);
}

class Win32WindowCommands : public Win32WindowTest {
 protected:
  void SetUp() override {
    Win32WindowTest::SetUp();
    fake_serial::SetDevice("COM2", DeviceState::Present);
    Start();
    ShowWindow(form_->Handle, SW_SHOW);
    Pump();
  }
};

TEST_F(Win32WindowCommands, ButtonsRunTheirCommandsAndFailuresShowTheErrorBox) {
  SendMessageW(form_->Erase, BM_CLICK, 0, 0);
  EXPECT_EQ(ChipOn("COM2").EraseCount(), 1);
  EXPECT_TRUE(dialogs_.errors.empty());

  dialogs_.answers = {TestImage("blink.bin")};
  SendMessageW(form_->FlashBin, BM_CLICK, 0, 0);
  EXPECT_EQ(dialogs_.presets, std::vector<std::string>{"*.bin"});
  const std::string image = ReadWhole(TestImage("blink.bin"));
  EXPECT_EQ(ChipOn("COM2").Flash(), ErasedFlashWith({image.begin(), image.end()}));

  fake_serial::SetDevice("COM2", DeviceState::Absent);
  SendMessageW(form_->FlashHex, BM_CLICK, 0, 0);
  ASSERT_EQ(dialogs_.errors.size(), 1u);
  EXPECT_EQ(dialogs_.errors[0], "COM2 nicht bereit.");
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  EXPECT_EQ(dialogs_.errorCaptions[0], ErrorBoxCaption(exe));
  EXPECT_TRUE(IsWindowEnabled(form_->FlashHex));
}

TEST_F(Win32WindowCommands, LogRepaintsDuringADownloadWhileInputWaitsAndCloseWaitsForTheEnd) {
  // Counts the memo's paints while the command runs.
  static int paintsWhileRunning;
  static wchar_t titleWhileRunning[256];
  static WNDPROC memoProcedure;
  static TForm1* form;
  paintsWhileRunning = 0;
  titleWhileRunning[0] = L'\0';
  form = form_.get();
  memoProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(form_->Memo1, GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(+[](HWND window, UINT message, WPARAM wParam,
                                                       LPARAM lParam) -> LRESULT {
                          if (message == WM_PAINT && form->CommandRunning()) {
                            ++paintsWhileRunning;
                            GetWindowTextW(form->Handle, titleWhileRunning, 256);
                          }
                          return CallWindowProcW(memoProcedure, window, message, wParam, lParam);
                        })));

  dialogs_.answers = {TestImage("big_1k.hex")};
  // A key press and a close while the download runs.
  dialogs_.onAsk = [&] {
    PostMessageW(form_->Memo1, WM_CHAR, 'x', 0);
    PostMessageW(form_->Handle, WM_CLOSE, 0, 0);
  };
  virtual_counter::Reset(100);  // lasts long enough in real time to repaint
  SendMessageW(form_->FlashHex, BM_CLICK, 0, 0);

  EXPECT_GT(paintsWhileRunning, 0);
  // The title tells how far the command is while it runs, and is the
  // window's own again afterwards.
  const std::wstring caption = WideFromUtf8(MainForm::kCaption);
  EXPECT_NE(std::wstring(titleWhileRunning), caption);
  EXPECT_NE(std::wstring(titleWhileRunning), L"");
  wchar_t title[256] = {};
  GetWindowTextW(form_->Handle, title, 256);
  EXPECT_EQ(std::wstring(title), caption);
  const std::string image = ReadWhole(TestImage("big_1k.bin"));
  EXPECT_EQ(ChipOn("COM2").Flash(), ErasedFlashWith({image.begin(), image.end()}));
  MSG waiting;
  EXPECT_TRUE(PeekMessageW(&waiting, form_->Memo1, WM_CHAR, WM_CHAR, PM_NOREMOVE));
  ASSERT_NE(form_->Handle, nullptr);  // not closed while the download ran
  Pump();
  EXPECT_EQ(form_->Handle, nullptr);
}

// The real dialogs, answered by a timer that reads them while they are shown.
struct Seen {
  std::wstring text;
  bool errorIcon = false;
  std::vector<std::wstring> buttons;
  int filterEntries = -1;
};
Seen seen_;

class Win32Dialogs : public testing::Test {
 protected:
  static std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
  }
  // Runs show() while a timer looks for a dialog with the caption, lets
  // inspect read it, and closes it with the button.
  template <typename Show>
  static void Answer(const wchar_t* caption, int button, void (*inspect)(HWND, Seen&), Show show) {
    static const wchar_t* wanted;
    static int pressed;
    static void (*reader)(HWND, Seen&);
    wanted = caption;
    pressed = button;
    reader = inspect;
    seen_ = Seen{};
    const UINT_PTR timer = SetTimer(
        nullptr, 0, 50, +[](HWND, UINT, UINT_PTR, DWORD) {
          HWND dialog = FindWindowW(L"#32770", wanted);
          if (dialog == nullptr || !IsWindowVisible(dialog)) return;
          reader(dialog, seen_);
          PostMessageW(dialog, WM_COMMAND, pressed, 0);
        });
    show();
    KillTimer(nullptr, timer);
  }
};

TEST_F(Win32Dialogs, ErrorBoxHasTheErrorIconAndOnlyOk) {
  Answer(
      L"Flash89", IDOK,
      [](HWND box, Seen& seen) {
        seen.text = TextOf(GetDlgItem(box, 0xFFFF));
        seen.errorIcon = SendDlgItemMessageW(box, 0x0440, STM_GETICON, 0, 0) ==
                         reinterpret_cast<LRESULT>(LoadIconW(nullptr, MAKEINTRESOURCEW(32513)));
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
          wchar_t kind[32] = {};
          GetClassNameW(child, kind, 32);
          if (lstrcmpiW(kind, L"Button") == 0 && IsWindowVisible(child))
            seen.buttons.push_back(TextOf(child));
        }
      },
      [] { Win32FormDialogs().ShowErrorBox(nullptr, "Flash89", "Datei nicht gefunden."); });
  EXPECT_EQ(seen_.text, L"Datei nicht gefunden.");
  EXPECT_TRUE(seen_.errorIcon);
  EXPECT_EQ(seen_.buttons, std::vector<std::wstring>{L"OK"});
}

TEST_F(Win32Dialogs, OpenFileDialogStartsWithThePatternAndNoFilterList) {
  std::string chosen = "not asked";
  Answer(
      L"Open", IDCANCEL,
      [](HWND dialog, Seen& seen) {
        // The file name box (edt1, or the combo box cmb13 of the explorer style)
        // and the file type list (cmb1).
        HWND name = GetDlgItem(dialog, 0x480);
        if (name == nullptr) name = GetDlgItem(dialog, 0x47C);
        seen.text = TextOf(name);
        seen.filterEntries =
            static_cast<int>(SendDlgItemMessageW(dialog, 0x470, CB_GETCOUNT, 0, 0));
      },
      [&] { chosen = Win32FormDialogs().AskFileName(nullptr, "*.hex"); });
  EXPECT_EQ(seen_.text, L"*.hex");
  EXPECT_LE(seen_.filterEntries, 0);
  EXPECT_EQ(chosen, "");  // cancelled
}
