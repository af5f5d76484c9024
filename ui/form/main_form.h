// The main window's behaviour, for any toolkit: the start-up probe, the
// port choice, the commands with their error box, the live log, and a close
// asked for while a command runs, and the command's progress in the title.
// A front end's window (TForm1) builds its controls, implements FormView
// and inherits the handlers.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "commands/command_request.h"
#include "commands/fault.h"
#include "commands/idle_work.h"
#include "commands/progress.h"
#include "ui/form/form_view.h"
#include "ui/form/mirrored_log.h"

class MainForm : private WaitIdleWork, private ProgressListener {
 public:
  explicit MainForm(FormView& view);

  // The window's title whenever no command runs.
  static constexpr const char* kCaption = "VU74/Flash AT89S8253";

  // The memo's text at start: "Download ..." and 147 empty lines.
  static std::string InitialMemoText();

  // "COM1" or "COM2": the port every command opens.
  std::string SelectedPort = "COM2";

  // The window's fixed names, after its controls (Memo1, RadioButton1,
  // FlashHex, ...) and their events, as each toolkit's TForm1 carries them.
  void FormCreate();
  void RadioButton1Click();
  void RadioButton2Click();
  void FlashHexClick();
  void FlashBinClick();
  void EraseClick();

  // Whether the window may close now. While a command runs it may not; it
  // is closed when the command has ended.
  bool CloseQuery();

  bool CommandRunning() const { return commandRunning_; }
  LogLines& Log() { return log_; }

 private:
  void ProbePort(const std::string& port);
  void Download(ImageFormat format, const char* presetName);
  void RunCommand(const std::function<std::optional<Fault>(ProgressListener*)>& command);
  void DuringWait() override;
  void OnProgress(const CommandProgress& progress) override;
  void ShowCaption(const std::string& caption);

  FormView& view_;
  MirroredLog log_;
  bool commandRunning_ = false;
  bool closeRequested_ = false;
  std::chrono::steady_clock::time_point lastRepaint_;
  std::string shownCaption_ = kCaption;
};
