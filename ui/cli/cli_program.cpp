#include "ui/cli/cli_program.h"

#include <array>
#include <functional>
#include <new>
#include <optional>

#include "commands/cancel.h"
#include "commands/chip_config_commands.h"
#include "commands/commands.h"
#include "commands/messages.h"
#include "commands/port_probe.h"
#include "commands/readback_commands.h"
#include "commands/text_log.h"
#include "image/image_format.h"
#include "ui/cli/arguments.h"
#include "ui/cli/cli_output.h"
#include "ui/cli/exit_status.h"
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
std::optional<std::string> FirstReadyPort() {
  for (const char* port : {"COM2", "COM1"}) {
    if (PortOpens(port)) return port;
  }
  return std::nullopt;
}

int Check(const CliRequest& request, CliOutput& output, std::ostream& out) {
  const Checked<ImageExtent> checked = CheckImage(request.file, ImageFormatOf(request.file));
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

// A command on the chip: what it runs on the chosen port, and what it says
// when it is done.
using RunOnPort = std::function<std::optional<Fault>(const std::string& portName, LogLines& log)>;
using SayDone = std::function<void(const std::string& portName)>;

int OnPort(const CliRequest& request, const CliConsole& console, CliOutput& output,
           const RunOnPort& run, const SayDone& done) {
  StartCommandClock();
  // A port that was named is never tried.
  std::string portName = request.port;
  if (portName.empty()) {
    const std::optional<std::string> ready = FirstReadyPort();
    if (!ready) {
      output.Error(PortStatusText("COM2", false));
      output.Error(PortStatusText("COM1", false));
      return kExitPortNotReady;
    }
    portName = *ready;
    output.Message(PortStatusText(portName, true));
  }
  if (CommandCancelRequested()) {
    output.Error(InterruptedText());
    return kExitInterrupted;
  }

  TextLog unshownLog;
  // On one terminal with the progress, a log line starts on a line of its own.
  StreamedLog shownLog(console.out, [&] {
    if (console.outIsTerminal) output.EndProgress();
  });
  LogLines& log = request.log ? static_cast<LogLines&>(shownLog) : unshownLog;
  const std::optional<Fault> fault = run(portName, log);
  shownLog.Finish();
  output.EndProgress();
  if (fault) {
    output.Error(FaultText(*fault));
    return ExitStatusFor(*fault);
  }
  done(portName);
  return kExitDone;
}

int Download(const CliRequest& request, const CliConsole& console, CliOutput& output) {
  const bool hex = request.action == CliAction::FlashHex;
  // A bad file is named before any port is tried; the download checks it
  // again when it reads it.
  const Checked<ImageExtent> checked =
      CheckImage(request.file, hex ? ImageFormat::IntelHex : ImageFormat::Binary);
  if (const auto* fault = std::get_if<ImageFault>(&checked)) {
    output.Error(FaultText(*fault));
    return kExitBadFile;
  }
  const FileNameRequest chosenFile = [&] { return request.file; };
  std::string keptEeprom;
  const ChipExtras extras{.eepromFile = request.eepromFile,
                          .keepEeprom = request.keepEeprom,
                          .lockLevel = request.lockLevel,
                          .keptEepromFile = &keptEeprom};
  const int status = OnPort(
      request, console, output,
      [&](const std::string& portName, LogLines& log) {
        const bool verify = request.verify;
        if (hex) {
          return request.pages
                     ? FlashHexPagesCommandOnPort(portName, log, chosenFile, &output, verify,
                                                  extras)
                     : FlashHexCommandOnPort(portName, log, chosenFile, &output, verify, extras);
        }
        return request.pages
                   ? FlashBinPagesCommandOnPort(portName, log, chosenFile, &output, verify, extras)
                   : FlashBinCommandOnPort(portName, log, chosenFile, &output, verify, extras);
      },
      [&](const std::string&) {
        if (request.verify) output.Message(VerifiedText());
        output.Message(DownloadDoneText());
        if (request.lockLevel > 0) output.Message(LockedText(request.lockLevel));
      });
  // Never lost: the EEPROM that a stopped command did not write back.
  if (!keptEeprom.empty()) output.Error(EepromKeptText(keptEeprom));
  return status;
}

void ShowChipState(std::ostream& out, const ChipState& state) {
  out << FusesText(state.fuses) << "\n" << LockText(state.lockBits) << "\n";
}

int Run(const CliRequest& request, const CliConsole& console, CliOutput& output) {
  std::ostream& out = console.out;
  std::array<std::uint8_t, 3> signature{};
  ChipState state;
  std::size_t changed = 0;
  const ImageTarget target = request.target;
  // Every action by name: an action added later that is not handled here
  // does not build, instead of running some other command.
  switch (request.action) {
    case CliAction::Help: out << UsageText() << std::flush; return kExitDone;
    case CliAction::Version:
      out << kCliName << " " << FLASH89_VERSION << "\n" << std::flush;
      return kExitDone;
    case CliAction::Check: return Check(request, output, out);
    case CliAction::Ports: return Ports(request, output, out);
    case CliAction::FlashHex:
    case CliAction::FlashBin: return Download(request, console, output);
    case CliAction::Erase:
      return OnPort(
          request, console, output,
          [&](const std::string& portName, LogLines&) {
            return EraseCommandOnPort(portName, &output);
          },
          [&](const std::string&) { output.Message(EraseDoneText()); });
    case CliAction::Detect:
      return OnPort(
          request, console, output,
          [&](const std::string& portName, LogLines&) {
            return DetectCommand(portName, signature, &state);
          },
          [&](const std::string& portName) {
            out << ChipFoundText(portName, signature) << "\n";
            ShowChipState(out, state);
          });
    case CliAction::Verify:
      return OnPort(
          request, console, output,
          [&](const std::string& portName, LogLines&) {
            return VerifyCommand(portName, request.file, &output, target);
          },
          [&](const std::string&) { output.Message(VerifiedText()); });
    case CliAction::Read:
      return OnPort(
          request, console, output,
          [&](const std::string& portName, LogLines&) {
            return ReadCommand(portName, request.file, &output, target);
          },
          [&](const std::string&) { output.Message(MemoryReadText(target, request.file)); });
    case CliAction::WriteEeprom:
    case CliAction::WriteUserRow: {
      const ImageTarget written =
          request.action == CliAction::WriteEeprom ? ImageTarget::Eeprom : ImageTarget::UserRow;
      return OnPort(
          request, console, output,
          [&](const std::string& portName, LogLines&) {
            return WriteMemoryCommand(portName, written, request.file, request.pages, &output,
                                      changed);
          },
          [&](const std::string&) { output.Message(MemoryWrittenText(written, changed)); });
    }
    case CliAction::Fuses:
      return OnPort(
          request, console, output,
          [&](const std::string& portName, LogLines&) {
            return FusesCommand(portName, request.fuseChanges, request.disableSerialProgramming,
                                state);
          },
          [&](const std::string&) {
            if (!request.fuseChanges.empty()) output.Message(FusesWrittenText());
            out << FusesText(state.fuses) << "\n";
          });
    case CliAction::Lock:
      return OnPort(
          request, console, output,
          [&](const std::string& portName, LogLines&) {
            return LockCommand(portName, request.lockLevel, state);
          },
          [&](const std::string&) {
            output.Message(LockedText(request.lockLevel));
            out << LockText(state.lockBits) << "\n";
          });
  }
  return kExitUsage;  // not reached: every action returns above
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
  CliOutput output(console.err, OutputMode(request, console), console.clock);
  try {
    return Run(request, console, output);
  } catch (const std::bad_alloc&) {
    output.EndProgress();
    output.Error(OutOfMemoryText());
    return kExitOutOfMemory;
  }
}
