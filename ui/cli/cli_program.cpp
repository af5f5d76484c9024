#include "ui/cli/cli_program.h"

#include <array>
#include <new>
#include <optional>

#include "commands/bit_clock_choice.h"
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
  const std::vector<PresentPort> ports = PresentPorts();
  if (ports.empty()) {
    if (!request.quiet) output.Message(NoPortsText());
    return kExitDone;
  }
  for (const PresentPort& port : ports) {
    out << PresentPortText(port.name, port.driver, port.adapter) << "\n";
  }
  return kExitDone;
}

// The port named, or else COM2, else COM1, tried as the window tries them
// at start; nothing when neither is ready, which is said.
std::optional<std::string> ChosenPort(const CliRequest& request, CliOutput& output) {
  // A port that was named is never tried.
  if (!request.port.empty()) return request.port;
  const std::optional<std::string> ready = FirstReadyPort();
  if (ready) {
    output.Message(PortStatusText(*ready, true));
  } else {
    output.Error(PortStatusText("COM2", false));
    output.Error(PortStatusText("COM1", false));
  }
  return ready;
}

// The command line's request as the commands take it.
CommandRequest CommandFor(const CliRequest& request, const std::string& port,
                          std::string* keptEepromFile) {
  ImageTarget target = request.target;
  if (request.action == CliAction::WriteEeprom) target = ImageTarget::Eeprom;
  if (request.action == CliAction::WriteUserRow) target = ImageTarget::UserRow;
  return {
      .port = port,
      .file = FileNamed(request.file),
      .format = request.action == CliAction::FlashBin ? ImageFormat::Binary : ImageFormat::IntelHex,
      .target = target,
      .mode = request.pages ? WriteMode::Pages : WriteMode::Bytes,
      .verify = request.verify,
      .extras = {.eepromFile = request.eepromFile,
                 .keepEeprom = request.keepEeprom,
                 .lockLevel = request.lockLevel,
                 .keptEepromFile = keptEepromFile}};
}

// What a command on the chip found, for the words said after it.
struct ChipFindings {
  std::array<std::uint8_t, 3> signature{};
  ChipState state;
  std::size_t changed = 0;
};

std::optional<Fault> RunOnChip(const CliRequest& request, const CommandRequest& command,
                               LogLines& log, CliOutput& output, ChipFindings& found) {
  switch (request.action) {
    case CliAction::FlashHex:
    case CliAction::FlashBin: return DownloadCommand(command, log, &output);
    case CliAction::Erase: return EraseCommand(command, &output);
    case CliAction::Detect: return DetectCommand(command, found.signature, &found.state);
    case CliAction::Verify: return VerifyCommand(command, &output);
    case CliAction::Read: return ReadCommand(command, &output);
    case CliAction::WriteEeprom:
    case CliAction::WriteUserRow: return WriteMemoryCommand(command, &output, found.changed);
    case CliAction::Fuses:
      return FusesCommand(command, request.fuseChanges, request.disableSerialProgramming,
                          found.state);
    case CliAction::Lock: return LockCommand(command, request.lockLevel, found.state);
    case CliAction::Help:
    case CliAction::Version:
    case CliAction::Check:
    case CliAction::Ports: break;  // touch no chip
  }
  return std::nullopt;
}

void ShowChipState(std::ostream& out, const ChipState& state) {
  out << FusesText(state.fuses) << "\n" << LockText(state.lockBits) << "\n";
}

// After a command's work was done.
void SayDone(const CliRequest& request, const CommandRequest& command, const ChipFindings& found,
             CliOutput& output, std::ostream& out) {
  switch (request.action) {
    case CliAction::FlashHex:
    case CliAction::FlashBin:
      if (request.verify) output.Message(VerifiedText());
      output.Message(DownloadDoneText());
      if (request.lockLevel > 0) output.Message(LockedText(request.lockLevel));
      return;
    case CliAction::Erase: output.Message(EraseDoneText()); return;
    case CliAction::Detect:
      out << ChipFoundText(command.port, found.signature) << "\n";
      ShowChipState(out, found.state);
      return;
    case CliAction::Verify: output.Message(VerifiedText()); return;
    case CliAction::Read: output.Message(MemoryReadText(command.target, request.file)); return;
    case CliAction::WriteEeprom:
    case CliAction::WriteUserRow:
      output.Message(MemoryWrittenText(command.target, found.changed));
      return;
    case CliAction::Fuses:
      if (!request.fuseChanges.empty()) output.Message(FusesWrittenText());
      out << FusesText(found.state.fuses) << "\n";
      return;
    case CliAction::Lock:
      output.Message(LockedText(request.lockLevel));
      out << LockText(found.state.lockBits) << "\n";
      return;
    case CliAction::Help:
    case CliAction::Version:
    case CliAction::Check:
    case CliAction::Ports: return;
  }
}

// A command on the chip, on the chosen port, with its log where --log asks
// for it.
int OnChip(const CliRequest& request, const CliConsole& console, CliOutput& output) {
  StartClock();
  const std::optional<std::string> port = ChosenPort(request, output);
  if (!port) return kExitPortNotReady;
  if (CancelRequested()) {
    output.Error(InterruptedText());
    return kExitInterrupted;
  }

  TextLog unshownLog;
  // On one terminal with the progress, a log line starts on a line of its own.
  StreamedLog shownLog(console.out, [&] {
    if (console.outIsTerminal) output.EndProgress();
  });
  LogLines& log = request.log ? static_cast<LogLines&>(shownLog) : unshownLog;
  std::string keptEeprom;
  const CommandRequest command = CommandFor(request, *port, &keptEeprom);
  ChipFindings found;
  if (request.clockUs) {
    SetBitPhaseByHand(*request.clockUs / 1000);
  } else {
    SetBitPhaseByHand(std::nullopt);
  }
  const std::optional<Fault> fault = RunOnChip(request, command, log, output, found);
  shownLog.Finish();
  output.EndProgress();
  if (request.verbose) output.Message(BitClockText(LastBitClock()));
  int status = kExitDone;
  if (fault) {
    output.Error(FaultText(*fault));
    status = ExitStatusFor(*fault);
  } else {
    SayDone(request, command, found, output, console.out);
  }
  // Never lost: the EEPROM that a stopped download did not write back.
  if (!keptEeprom.empty()) output.Error(EepromKeptText(keptEeprom));
  return status;
}

int Download(const CliRequest& request, const CliConsole& console, CliOutput& output) {
  // A bad file is named before any port is tried; the download checks it
  // again when it reads it.
  const Checked<ImageExtent> checked =
      CheckImage(request.file, request.action == CliAction::FlashHex ? ImageFormat::IntelHex
                                                                     : ImageFormat::Binary);
  if (const auto* fault = std::get_if<ImageFault>(&checked)) {
    output.Error(FaultText(*fault));
    return kExitBadFile;
  }
  return OnChip(request, console, output);
}

int Run(const CliRequest& request, const CliConsole& console, CliOutput& output) {
  std::ostream& out = console.out;
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
    case CliAction::Detect:
    case CliAction::Verify:
    case CliAction::Read:
    case CliAction::WriteEeprom:
    case CliAction::WriteUserRow:
    case CliAction::Fuses:
    case CliAction::Lock: return OnChip(request, console, output);
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
