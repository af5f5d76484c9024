#include "ui/form/main_form.h"

#include <new>

#include "commands/commands.h"
#include "commands/messages.h"
#include "commands/port_probe.h"
#include "ui/form/error_box.h"

namespace {

constexpr int kInitialEmptyLines = 147;
constexpr int kStatusLine = 1;

// The log is repainted at most this often while a command runs.
constexpr std::chrono::milliseconds kRepaintInterval{33};

}  // namespace

MainForm::MainForm(FormView& view) : view_(view), log_(view) {}

std::string MainForm::InitialMemoText() {
  std::string text = "Download ...";
  // The last CR LF leaves an empty last line.
  for (int i = 0; i <= kInitialEmptyLines; ++i) text += "\r\n";
  return text;
}

void MainForm::FormCreate() {
  if (!OpenPortToProbe("COM2")) {
    view_.ShowSelectedPort("COM1");
    RadioButton1Click();
    OpenPortToProbe("COM1");
  }
  ClosePort();
  StartClock();
}

void MainForm::RadioButton1Click() { ProbePort("COM1"); }

void MainForm::RadioButton2Click() { ProbePort("COM2"); }

void MainForm::ProbePort(const std::string& port) {
  SelectedPort = port;
  const bool opened = PortOpens(port);
  // The other port, untested: the radio buttons stay as they are.
  if (!opened) SelectedPort = port == "COM1" ? "COM2" : "COM1";
  log_.SetLine(kStatusLine, PortStatusText(port, opened));
  // The marked port is always the one the commands will use.
  view_.ShowSelectedPort(SelectedPort);
}

void MainForm::FlashHexClick() { Download(ImageFormat::IntelHex, "*.hex"); }

void MainForm::FlashBinClick() { Download(ImageFormat::Binary, "*.bin"); }

// Byte mode and no checks: the window's waveform.
void MainForm::Download(ImageFormat format, const char* presetName) {
  const CommandRequest request{.port = SelectedPort,
                               .file = [this, presetName] { return view_.AskFileName(presetName); },
                               .format = format};
  RunCommand([&](ProgressListener* progress) { return DownloadCommand(request, log_, progress); });
}

void MainForm::EraseClick() {
  RunCommand([this](ProgressListener* progress) {
    return EraseCommand({.port = SelectedPort}, progress);
  });
}

void MainForm::RunCommand(const std::function<std::optional<Fault>(ProgressListener*)>& command) {
  commandRunning_ = true;
  log_.BeginCommand();
  lastRepaint_ = std::chrono::steady_clock::now();
  std::optional<std::string> failure;
  try {
    const ScopedWaitIdleWork repaint(*this);
    if (const std::optional<Fault> fault = command(this)) failure = FaultText(*fault);
  } catch (const std::bad_alloc&) {
    failure = OutOfMemoryText();
  }
  log_.EndCommand();
  ShowCaption(kCaption);
  commandRunning_ = false;
  if (failure) view_.ShowErrorBox(ErrorBoxCaption(view_.ExecutablePath()), ErrorBoxText(*failure));
  if (closeRequested_) {
    closeRequested_ = false;
    view_.CloseWindow();
  }
}

bool MainForm::CloseQuery() {
  // A download must not be cut off half-written.
  if (!commandRunning_) return true;
  closeRequested_ = true;
  return false;
}

void MainForm::OnProgress(const CommandProgress& progress) {
  ShowCaption(CaptionWithProgress(kCaption, progress));
}

// The toolkit is told only of a title that changed.
void MainForm::ShowCaption(const std::string& caption) {
  if (caption == shownCaption_) return;
  shownCaption_ = caption;
  view_.SetCaption(caption);
}

void MainForm::DuringWait() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastRepaint_ < kRepaintInterval) return;
  lastRepaint_ = now;
  log_.Flush();
  view_.ShowMemoLine(log_.LastChangedLine());
  view_.Repaint();
}
