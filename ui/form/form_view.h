// What the window's behaviour needs of a window toolkit: one small
// interface that each front end's main window implements.
#pragma once

#include <string>

// The memo as the log model sees it: lines separated by CR LF.
class MemoText {
 public:
  virtual std::string Text() const = 0;
  // Replaces everything after the end of line firstLine - 1 (all of it for
  // 0) with the given lines, CR LF between them.
  virtual void ReplaceLinesFrom(int firstLine, const std::string& lines) = 0;

 protected:
  ~MemoText() = default;
};

class FormView : public MemoText {
 public:
  // Scrolls the memo so that the line is in view.
  virtual void ShowMemoLine(int line) = 0;
  // Marks the port's radio button ("COM1" or "COM2"), clearing the other,
  // without running its handler.
  virtual void ShowSelectedPort(const std::string& portName) = 0;
  // The open-file dialog, preset to the name pattern; no filter list, no
  // default extension. The chosen file, or empty when cancelled.
  virtual std::string AskFileName(const std::string& presetName) = 0;
  // A modal box with the error icon and OK.
  virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;
  // The window's title.
  virtual void SetCaption(const std::string& caption) = 0;
  // Lets the window repaint; user input stays queued.
  virtual void Repaint() = 0;
  // Closes the window; a close that was asked for during a command.
  virtual void CloseWindow() = 0;
  // The running program's file, for the error box's caption.
  virtual std::string ExecutablePath() const = 0;

 protected:
  ~FormView() = default;
};
