#include "ui/cli/cli_program.h"

#include <new>
#include <optional>

#include "commands/cancel.h"
#include "commands/commands.h"
#include "commands/messages.h"
#include "commands/port_probe.h"
#include "commands/readback_commands.h"
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

// The ports as the system lists them; opening one would pulse its lines.
int Ports(const CliRequest& request, CliOutput& output, std::ostream& out) {
  const std::vector<PresentPort> ports = ListPresentPorts();
  if (ports.empty()) {
    if (!request.quiet) output.Message(NoPortsText());
    return kExitDone;
  }
  for (const PresentPort& port : ports) {
    out << PresentPortText(port.name, port.driver, port.adapter) << "\n";
  }
  return kExitDone;
}

int Program(const CliRequest& request, CliOutput& output, std::ostream& out) {
  // A bad file is named before any port is tried; the download checks it
  // again when it reads it.
  if (request.action == CliAction::FlashHex || request.action == CliAction::FlashBin) {
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
  if (!request.portName.empty()) {
    // Any other port is named, never tried.
  } else if (request.port) {
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
  std::array<std::uint8_t, 3> signature{};
  // COM1 and COM2 by name are the window's own ports.
  const std::string portName = request.portName.empty() ? PortName(port) : request.portName;
  switch (request.action) {
    case CliAction::FlashHex:
      fault = request.pages
                  ? FlashHexPagesCommandOnPort(portName, log, chosenFile, &output, request.verify)
                  : FlashHexCommandOnPort(portName, log, chosenFile, &output, request.verify);
      break;
    case CliAction::FlashBin:
      fault = request.pages
                  ? FlashBinPagesCommandOnPort(portName, log, chosenFile, &output, request.verify)
                  : FlashBinCommandOnPort(portName, log, chosenFile, &output, request.verify);
      break;
    case CliAction::Detect: fault = DetectCommand(portName, signature); break;
    case CliAction::Verify: fault = VerifyCommand(portName, request.file, &output); break;
    case CliAction::Read: fault = ReadCommand(portName, request.file, &output); break;
    default: fault = EraseCommandOnPort(portName, &output); break;
  }
  shownLog.Finish();
  output.EndProgress();

  if (fault) {
    output.Error(FaultText(*fault));
    return ExitStatusFor(*fault);
  }
  switch (request.action) {
    case CliAction::Erase: output.Message(EraseDoneText()); break;
    case CliAction::Detect: out << ChipFoundText(portName, signature) << "\n"; break;
    case CliAction::Verify: output.Message(VerifiedText()); break;
    case CliAction::Read: output.Message(FlashReadText(request.file)); break;
    default:
      if (request.verify) output.Message(VerifiedText());
      output.Message(DownloadDoneText());
  }
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
    if (request.action == CliAction::Ports) return Ports(request, output, console.out);
    return Program(request, output, console.out);
  } catch (const std::bad_alloc&) {
    output.EndProgress();
    output.Error(OutOfMemoryText());
    return kExitOutOfMemory;
  }
}
