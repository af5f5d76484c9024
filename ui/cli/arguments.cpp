#include "ui/cli/arguments.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

// A phase shorter than a few clock readings cannot be waited for; one
// longer than a millisecond only slows the command.
constexpr double kShortestClockUs = 0.2;
constexpr double kLongestClockUs = 1000;

// What follows a command's word.
enum class Operands {
  None,
  File,
  FileUnlessMemoryNamed,  // read and verify: none with --eeprom or --user-row
  FuseChanges,            // any number of NAME=on|off
  LockLevel,
};

struct CommandWord {
  const char* word;
  CliAction action;
  Operands operands;
};

constexpr CommandWord kCommands[] = {
    {"hex", CliAction::FlashHex, Operands::File},
    {"bin", CliAction::FlashBin, Operands::File},
    {"erase", CliAction::Erase, Operands::None},
    {"check", CliAction::Check, Operands::File},
    {"detect", CliAction::Detect, Operands::None},
    {"verify", CliAction::Verify, Operands::FileUnlessMemoryNamed},
    {"read", CliAction::Read, Operands::FileUnlessMemoryNamed},
    {"ports", CliAction::Ports, Operands::None},
    {"write-eeprom", CliAction::WriteEeprom, Operands::File},
    {"write-user-row", CliAction::WriteUserRow, Operands::File},
    {"fuses", CliAction::Fuses, Operands::FuseChanges},
    {"lock", CliAction::Lock, Operands::LockLevel},
};

constexpr const char* kCommandList =
    "hex, bin, erase, check, detect, verify, read, ports, write-eeprom, write-user-row, fuses "
    "or lock";

bool Downloads(CliAction action) {
  return action == CliAction::FlashHex || action == CliAction::FlashBin;
}

bool Writes(CliAction action) {
  return Downloads(action) || action == CliAction::WriteEeprom || action == CliAction::WriteUserRow;
}

std::optional<int> LockLevelNamed(const std::string& text) {
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '0' + kHighestLockLevel) {
    return text[0] - '0';
  }
  return std::nullopt;
}

// NAME=on or NAME=off, by the names of kFuseNames.
std::optional<FuseChange> FuseChangeNamed(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) return std::nullopt;
  const std::string name = text.substr(0, equals);
  const std::string state = text.substr(equals + 1);
  if (state != "on" && state != "off") return std::nullopt;
  for (const FuseName& fuse : kFuseNames) {
    if (name == fuse.name) return FuseChange{fuse.bit, state == "on"};
  }
  return std::nullopt;
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// Any COM number ("com12" is COM12), or an absolute device path such as
// /dev/ttyUSB0 or a /dev/serial/by-id/... link; empty for anything else.
std::string PortNamed(const std::string& name) {
  const std::string upper = Upper(name);
  const bool comNumber = upper.size() > 3 && upper.size() <= 6 && upper.starts_with("COM") &&
                         upper[3] != '0' &&
                         std::all_of(upper.begin() + 3, upper.end(),
                                     [](unsigned char c) { return std::isdigit(c) != 0; });
  if (comNumber) return upper;
  return name.size() > 1 && name[0] == '/' ? name : std::string();
}

CliRequest Only(CliAction action) {
  CliRequest request;
  request.action = action;
  return request;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

std::variant<CliRequest, UsageError> ParseArguments(const std::vector<std::string>& arguments) {
  // Help and version first, so that they answer whatever else is wrong.
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    if (argument == "-h" || argument == "--help") return Only(CliAction::Help);
    if (argument == "-V" || argument == "--version") return Only(CliAction::Version);
  }

  CliRequest request;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  bool bytes = false;
  bool pages = false;
  std::string eepromOption;
  std::string userRowOption;
  std::string lockOption;
  // The value of an option that takes one, as "--opt VALUE" or "--opt=VALUE".
  const auto valueOf = [&](std::size_t& i, const std::string& option,
                           std::string& value) -> std::optional<UsageError> {
    const std::string& argument = arguments[i];
    if (argument.starts_with(option + "=")) {
      value = argument.substr(option.size() + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      return UsageError{"option " + Quoted(option) + " needs a value"};
    }
    return std::nullopt;
  };
  const auto is = [](const std::string& argument, const std::string& option) {
    return argument == option || argument.starts_with(option + "=");
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      operands.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "-q" || argument == "--quiet") {
      request.quiet = true;
    } else if (argument == "-l" || argument == "--log") {
      request.log = true;
    } else if (argument == "--verify") {
      request.verify = true;
    } else if (argument == "--pages") {
      pages = true;
    } else if (argument == "--bytes") {
      bytes = true;
    } else if (argument == "--keep-eeprom") {
      request.keepEeprom = true;
    } else if (argument == "-v" || argument == "--verbose") {
      request.verbose = true;
    } else if (is(argument, "--clock-us")) {
      std::string value;
      if (auto error = valueOf(i, "--clock-us", value)) return *error;
      char* end = nullptr;
      const double us = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(us >= kShortestClockUs && us <= kLongestClockUs)) {
        return UsageError{"clock phase " + Quoted(value) + " is no number of microseconds from " +
                          "0.2 to 1000"};
      }
      request.clockUs = us;
    } else if (argument == "--disable-serial-programming") {
      request.disableSerialProgramming = true;
    } else if (is(argument, "--eeprom")) {
      if (auto error = valueOf(i, "--eeprom", eepromOption)) return *error;
    } else if (is(argument, "--user-row")) {
      if (auto error = valueOf(i, "--user-row", userRowOption)) return *error;
    } else if (is(argument, "--lock")) {
      if (auto error = valueOf(i, "--lock", lockOption)) return *error;
    } else if (argument == "-p" || argument == "--port" || argument.starts_with("--port=")) {
      std::string name;
      if (argument.starts_with("--port=")) {
        name = argument.substr(7);
      } else if (i + 1 < arguments.size()) {
        name = arguments[++i];
      } else {
        return UsageError{"option " + Quoted(argument) + " needs a port: COMn or a device path"};
      }
      request.port = PortNamed(name);
      if (request.port.empty()) {
        return UsageError{Quoted(name) + " is no port: use COMn or a device path"};
      }
    } else {
      return UsageError{"unknown option " + Quoted(argument)};
    }
  }

  if (operands.empty()) return UsageError{std::string("no command given: ") + kCommandList};
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandWord& c) { return operands[0] == c.word; });
  if (command == std::end(kCommands)) {
    return UsageError{"unknown command " + Quoted(operands[0]) + ": use " + kCommandList};
  }
  request.action = command->action;
  const std::vector<std::string> given(operands.begin() + 1, operands.end());
  const bool memoryNamed = !eepromOption.empty() || !userRowOption.empty();
  std::size_t expected = 0;
  switch (command->operands) {
    case Operands::None: break;
    case Operands::File: expected = 1; break;
    case Operands::FileUnlessMemoryNamed: expected = memoryNamed ? 0 : 1; break;
    case Operands::FuseChanges: expected = given.size(); break;
    case Operands::LockLevel: expected = 1; break;
  }
  if (given.size() < expected) {
    return UsageError{Quoted(operands[0]) + (command->operands == Operands::LockLevel
                                                 ? " needs a level: 1, 2 or 3"
                                                 : " needs a file")};
  }
  if (given.size() > expected) {
    return UsageError{"too many arguments, from " + Quoted(given[expected]) + " on"};
  }
  switch (command->operands) {
    case Operands::None: break;
    case Operands::File:
    case Operands::FileUnlessMemoryNamed:
      if (expected == 1) request.file = given[0];
      break;
    case Operands::FuseChanges:
      for (const std::string& change : given) {
        const std::optional<FuseChange> named = FuseChangeNamed(change);
        if (!named) {
          return UsageError{Quoted(change) +
                            " is no fuse setting: use serial-programming, x2, user-row or "
                            "external-clock with =on or =off"};
        }
        request.fuseChanges.push_back(*named);
      }
      break;
    case Operands::LockLevel: lockOption = given[0]; break;
  }

  const CliAction action = request.action;
  if (!lockOption.empty()) {
    const std::optional<int> level = LockLevelNamed(lockOption);
    if (!level) return UsageError{"lock level " + Quoted(lockOption) + " is none of 1, 2 or 3"};
    request.lockLevel = *level;
    if (action != CliAction::Lock && !Downloads(action)) {
      return UsageError{"option '--lock' goes with hex and bin"};
    }
  }
  if (request.verify && !Downloads(action)) {
    return UsageError{"option '--verify' goes with hex and bin"};
  }
  if ((pages || bytes) && !Writes(action)) {
    return UsageError{std::string("option ") + (pages ? "'--pages'" : "'--bytes'") +
                      " is for hex, bin, write-eeprom and write-user-row only"};
  }
  if (pages && bytes) return UsageError{"options '--pages' and '--bytes' exclude each other"};
  request.pages = !bytes;
  if (request.keepEeprom && !Downloads(action)) {
    return UsageError{"option '--keep-eeprom' goes with hex and bin"};
  }
  if (request.disableSerialProgramming && action != CliAction::Fuses) {
    return UsageError{"option '--disable-serial-programming' goes with fuses"};
  }
  if (!userRowOption.empty()) {
    if (action != CliAction::Read && action != CliAction::Verify) {
      return UsageError{"option '--user-row' goes with read and verify"};
    }
    if (!eepromOption.empty()) {
      return UsageError{"options '--eeprom' and '--user-row' exclude each other"};
    }
    request.target = ImageTarget::UserRow;
    request.file = userRowOption;
  }
  if (!eepromOption.empty()) {
    if (Downloads(action)) {
      if (request.keepEeprom) {
        return UsageError{"options '--eeprom' and '--keep-eeprom' exclude each other"};
      }
      request.eepromFile = eepromOption;
    } else if (action == CliAction::Read || action == CliAction::Verify) {
      request.target = ImageTarget::Eeprom;
      request.file = eepromOption;
    } else {
      return UsageError{"option '--eeprom' goes with hex, bin, read and verify"};
    }
  }
  return request;
}

std::string UsageText() {
  return R"(Usage: flash89-cli [OPTIONS] hex FILE    erase the AT89S8253, write an Intel HEX image
       flash89-cli [OPTIONS] bin FILE    erase it, write a binary image from address 0
       flash89-cli [OPTIONS] erase       erase it
       flash89-cli check FILE            read and check an image; touches no port
       flash89-cli [OPTIONS] detect      the chip's signature, fuses and lock bits
       flash89-cli [OPTIONS] verify FILE compare the flash with an image
       flash89-cli [OPTIONS] read FILE   read the whole flash into FILE.hex or FILE.bin
       flash89-cli [OPTIONS] write-eeprom FILE    write the EEPROM without an erase
       flash89-cli [OPTIONS] write-user-row FILE  write the user row (64 bytes)
       flash89-cli [OPTIONS] fuses [NAME=on|off ...]  show or set the fuses
       flash89-cli [OPTIONS] lock 1|2|3  lock the chip: 1 LB1, 2 also LB2, 3 all
       flash89-cli ports                 list the serial ports; opens none

Every image is read and checked whole before the chip is touched. An image
file is Intel HEX by the name .hex or .ihx, binary by .bin, else Intel HEX
when it starts with ':'. detect, verify, read, --verify, --keep-eeprom,
--lock, write-eeprom, write-user-row, fuses and lock need a cable that
brings the chip's MISO back to CTS (DB9 pin 8); each checks first that the
chip echoes its instructions and names itself an AT89S8253. Where it does,
the command tries shorter bit phases than the window's 10 us, takes twice
the shortest whose echoes all came back right (or the shortest the port
can switch), checks every instruction's echo before its last byte, and
polls the erase and the writes: a full chip written and verified in a few
seconds. An echo that comes back wrong drops it back to 10 us.

Options:
  -p, --port PORT       the port: COM1, COM2, any COMn or a device path;
                        without it COM2 is tried, then COM1
  -l, --log             print the download's log lines on standard output
      --verify          hex, bin: check the chip before erasing it, and read
                        the image (and the EEPROM image) back after writing
      --bytes           hex, bin, write-*: write byte by byte, exactly as the
                        window does (a full chip in about 75 s)
      --pages           write 64 bytes to a page (32 in the EEPROM), one write
                        cycle per page: the default, a full chip in about 5 s
      --eeprom FILE     hex, bin: write FILE into the EEPROM after the flash,
                        after the same erase (Intel HEX for 000-7FF, or binary
                        of at most 2048 bytes); read, verify: the EEPROM
      --keep-eeprom     hex, bin: read the EEPROM before the erase (which
                        clears it), write it back after the flash and compare
      --lock N          hex, bin: lock the chip after writing (and verifying)
      --user-row FILE   read, verify: the user row instead of the flash
      --disable-serial-programming
                        fuses: allow serial-programming=off, after which only
                        a parallel programmer can program the chip
      --clock-us N      the bit phase in microseconds (0.2 to 1000) instead of
                        the one found from the chip's echo; 10 is the
                        window's timing
  -v, --verbose         say the bit phase the command used and how
  -q, --quiet           print nothing but errors
  -h, --help            print this help and exit
  -V, --version         print the version and exit

Fuses, on where programmed: serial-programming, x2 (six clocks a machine
cycle), user-row (the user row may be written), external-clock (XTAL1
takes an external clock instead of a crystal). A fuse setting changes only
the fuses named. Lock levels only rise; only an erase opens a lock. From
level 2 on, the flash and the EEPROM no longer read back.

On Linux, COM1 to COM9 are /dev/ttyS0 to /dev/ttyS8, or the devices that
FLASH89_COM1 to FLASH89_COM9 name; a path such as /dev/ttyUSB0 or
/dev/serial/by-id/... names its device. On Windows, any COM number.

'ports' lists each serial port with its driver, and says where it is an
FTDI adapter whose lines bit-bang can drive. Opening a port pulses its
lines, so the list is read from the system (sysfs, the registry) instead.

Ctrl+C stops a command before its next instruction to the chip and releases
the lines; a second Ctrl+C ends the program at once.

Exit status:
  0    done
  1    the image file cannot be read or is no valid image for the chip
  2    wrong usage
  3    the port is not ready (missing, held by another program, no access)
  4    the connection to the port was lost midway: the chip may be erased
       or partly written
  5    out of memory
  6    the port cannot hold TXD in break (a faked, far too slow or refused
       break): the chip was not touched
  7    no AT89S8253 answered (no line back to CTS, no echo, no chip, no
       supply, or another chip): nothing was erased
  8    bytes, fuses or lock bits read back differ from what was written
  9    the chip is locked against reading back (LB1 and LB2)
  10   write-eeprom, write-user-row: a byte needs an erase; nothing written
  11   write-user-row: the user-row fuse forbids writing it
  12   fuses: the chip reads serial programming as off while it answers;
       the fuses read in an unknown order, none was written
  13   serial-programming=off without --disable-serial-programming
  14   lock: the chip is locked further already
  130  interrupted (Ctrl+C): the chip may be erased or partly written
)";
}
