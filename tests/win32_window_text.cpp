// Reads what flash89's windows show, from another process, for the
// end-to-end test under Wine (xdotool sees windows, not their text).
//   window_text memo            the log's text
//   window_text box CAPTION     a message box's text, then "icon" when it
//                               shows one, then its buttons
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string TextOf(HWND window) {
  wchar_t text[65536] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, sizeof text / sizeof *text,
                      reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &length);
  char utf8[4 * 65536] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

constexpr int kMessageBoxText = 0xFFFF;
constexpr int kMessageBoxIcon = 0x0440;

}  // namespace

int main(int argc, char* argv[]) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "memo" && argc == 2) {
    HWND form = FindWindowW(L"TForm1", nullptr);
    HWND memo = form != nullptr ? FindWindowExW(form, nullptr, L"EDIT", nullptr) : nullptr;
    if (memo == nullptr) return 1;
    std::fputs(TextOf(memo).c_str(), stdout);
    return 0;
  }
  if (what == "box" && argc == 3) {
    wchar_t caption[256] = {};
    MultiByteToWideChar(CP_UTF8, 0, argv[2], -1, caption, 256);
    HWND box = FindWindowW(L"#32770", caption);
    if (box == nullptr) return 1;
    std::printf("%s\n", TextOf(GetDlgItem(box, kMessageBoxText)).c_str());
    // Which icon it is cannot be told from another process.
    HWND icon = GetDlgItem(box, kMessageBoxIcon);
    if (icon != nullptr && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0) != 0) {
      std::printf("icon\n");
    }
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t kind[32] = {};
      GetClassNameW(child, kind, 32);
      if (lstrcmpiW(kind, L"Button") == 0 && IsWindowVisible(child))
        std::printf("button %s\n", TextOf(child).c_str());
    }
    return 0;
  }
  std::fprintf(stderr, "usage: window_text memo | window_text box CAPTION\n");
  return 2;
}
