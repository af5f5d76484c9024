#include "ui/cli/cli_program.h"

#include <new>
#include <optional>

#include "commands/cancel.h"
#include "commands/commands.h"
#include "commands/messages.h"
#include "commands/port_probe.h"
#include "commands/text_log.h"
#include "ui/cli/arguments.h"
#include "ui/cli/cli_output.h"
#include "ui/cli/exit_status.h"
#include "ui/cli/image_check.h"
#include "ui/cli/streamed_log.h"

#ifndef FLASH89_VERSION
#error "FLASH89_VERSION must name the program's version"
#endif

namespace {

CliOutput::Mode OutputMode(const CliRequest& request, const CliConsole& console) {
  if (request.quiet) return CliOutput::Mode::Quiet;
  return console.errIsTerminal ? CliOutput::Mode::Terminal : CliOutput::Mode::Plain;
}

// COM2, else COM1, as the window tries them at start.
std::optional<int> FirstReadyPort() {
  for (const int port : {2, 1}) {
    if (PortOpens(port)) return port;
  }
  return std::nullopt;
}

int Check(const CliRequest& request, CliOutput& output, std::ostream& out) {
  const Checked<ImageExtent> checked = CheckImage(request.file, FormatFor(request.file));
  if (const auto* fault = std::get_if<ImageFault>(&checked)) {
    output.Error(FaultText(*fault));
    return kExitBadFile;
  }
  if (!request.quiet) out << ImageExtentText(std::get<ImageExtent>(checked)) << "\n";
  return kExitDone;
}

int Program(const CliRequest& request, CliOutput& output, std::ostream& out) {
  // A bad file is named before any port is tried; the download checks it
  // again when it reads it.
  if (request.action != CliAction::Erase) {
    const ImageFormat format =
        request.action == CliAction::FlashHex ? ImageFormat::IntelHex : ImageFormat::Binary;
    const Checked<ImageExtent> checked = CheckImage(request.file, format);
    if (const auto* fault = std::get_if<ImageFault>(&checked)) {
      output.Error(FaultText(*fault));
      return kExitBadFile;
    }
  }

  StartCommandClock();
  int port = 0;
  if (request.port) {
    port = *request.port;
  } else if (const std::optional<int> ready = FirstReadyPort()) {
    port = *ready;
    output.Message(PortStatusText(port, true));
  } else {
    output.Error(PortStatusText(2, false));
    output.Error(PortStatusText(1, false));
    return kExitPortNotReady;
  }
  if (CommandCancelRequested()) {
    output.Error(InterruptedText());
    return kExitInterrupted;
  }

  TextLog unshownLog;
  StreamedLog shownLog(out);
  LogLines& log = request.log ? static_cast<LogLines&>(shownLog) : unshownLog;
  const FileNameRequest chosenFile = [&] { return request.file; };
  std::optional<Fault> fault;
  switch (request.action) {
    case CliAction::FlashHex:
      fault = request.pages ? FlashHexPagesCommand(port, log, chosenFile, &output)
                            : FlashHexCommand(port, log, chosenFile, &output);
      break;
    case CliAction::FlashBin:
      fault = request.pages ? FlashBinPagesCommand(port, log, chosenFile, &output)
                            : FlashBinCommand(port, log, chosenFile, &output);
      break;
    default: fault = EraseCommand(port, &output); break;
  }
  shownLog.Finish();
  output.EndProgress();

  if (fault) {
    output.Error(FaultText(*fault));
    return ExitStatusFor(*fault);
  }
  output.Message(request.action == CliAction::Erase ? EraseDoneText() : DownloadDoneText());
  return kExitDone;
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, const CliConsole& console) {
  const auto parsed = ParseArguments(arguments);
  if (const auto* error = std::get_if<UsageError>(&parsed)) {
    console.err << kCliName << ": " << error->text << "\n"
                << "Try '" << kCliName << " --help' for more information.\n"
                << std::flush;
    return kExitUsage;
  }
  const CliRequest& request = std::get<CliRequest>(parsed);
  if (request.action == CliAction::Help) {
    console.out << UsageText() << std::flush;
    return kExitDone;
  }
  if (request.action == CliAction::Version) {
    console.out << kCliName << " " << FLASH89_VERSION << "\n" << std::flush;
    return kExitDone;
  }

  CliOutput output(console.err, OutputMode(request, console));
  try {
    if (request.action == CliAction::Check) return Check(request, output, console.out);
    return Program(request, output, console.out);
  } catch (const std::bad_alloc&) {
    output.EndProgress();
    output.Error(OutOfMemoryText());
    return kExitOutOfMemory;
  }
}
