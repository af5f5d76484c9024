#include "ui/win32/edit_memo_text.h"

#include "ui/win32/wide_text.h"

namespace {

// Where line `line` ends (before its CR LF), or the text's end.
std::size_t EndOfLine(const std::wstring& text, int line) {
  std::size_t end = text.find(L"\r\n");
  for (int i = 0; i < line && end != std::wstring::npos; ++i) end = text.find(L"\r\n", end + 2);
  return end == std::wstring::npos ? text.size() : end;
}

std::size_t StartOfLine(const std::wstring& text, int line) {
  if (line <= 0) return 0;
  const std::size_t end = EndOfLine(text, line - 1);
  return end == text.size() ? end : end + 2;
}

}  // namespace

std::wstring EditMemoText::WideText() const {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit_)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::string EditMemoText::Text() const { return Utf8FromWide(WideText()); }

void EditMemoText::ReplaceLinesFrom(int firstLine, const std::string& lines) {
  const std::size_t from = firstLine > 0 ? EndOfLine(WideText(), firstLine - 1) : 0;
  const std::wstring rest = (firstLine > 0 ? L"\r\n" : L"") + WideFromUtf8(lines);
  SendMessageW(edit_, EM_SETSEL, from, -1);
  SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(rest.c_str()));
}

void EditMemoText::ShowLine(int line) {
  const std::size_t start = StartOfLine(WideText(), line);
  SendMessageW(edit_, EM_SETSEL, start, start);
  SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
}
