// A window without a toolkit for the window's behaviour: the memo is a
// string, the dialogs are answered by the test, and every call is noted.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dialog_script.h"
#include "ui/form/form_view.h"

// The memo as an edit control holds it: lines separated by CR LF.
class StringMemo : public MemoText {
 public:
  virtual ~StringMemo() = default;

  std::string Text() const override { return text; }
  void SetText(const std::string& newText) { text = newText; }
  void ReplaceLinesFrom(int firstLine, const std::string& lines) override {
    ++replacements;
    if (firstLine == 0) {
      text = lines;
      return;
    }
    // The end of line firstLine - 1.
    std::size_t end = 0;
    for (int line = 0; line < firstLine; ++line) {
      end = text.find("\r\n", line == 0 ? 0 : end + 2);
      if (end == std::string::npos) {
        end = text.size();
        break;
      }
    }
    text = text.substr(0, end) + "\r\n" + lines;
  }

  std::string text;
  int replacements = 0;
};

class FakeFormView : public FormView {
 public:
  virtual ~FakeFormView() = default;

  std::string Text() const override { return memo.Text(); }
  void ReplaceLinesFrom(int firstLine, const std::string& lines) override {
    memo.ReplaceLinesFrom(firstLine, lines);
  }
  void ShowMemoLine(int line) override { shownLine = line; }
  void ShowSelectedPort(const std::string& portName) override { markedPort = portName; }
  std::string AskFileName(const std::string& presetName) override {
    return dialogs.Ask(presetName);
  }
  void ShowErrorBox(const std::string& caption, const std::string& text) override {
    dialogs.ShowError(caption, text);
  }
  void SetCaption(const std::string& caption) override { captions.push_back(caption); }
  void Repaint() override {
    ++repaints;
    if (onRepaint) onRepaint();
  }
  void CloseWindow() override { ++closes; }
  std::string ExecutablePath() const override { return executable; }

  StringMemo memo;
  std::string markedPort = "COM2";  // the window starts with COM2 marked
  int shownLine = -1;
  DialogScript dialogs;
  std::function<void()> onRepaint;
  std::vector<std::string> captions;  // every title set, in order
  int repaints = 0;
  int closes = 0;
  std::string executable = "C:\\Tools\\FLASH89.EXE";
};
