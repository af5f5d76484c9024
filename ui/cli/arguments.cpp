#include "ui/cli/arguments.h"

#include <algorithm>
#include <cctype>

namespace {

struct CommandWord {
  const char* word;
  CliAction action;
  bool takesFile;
};

constexpr CommandWord kCommands[] = {
    {"hex", CliAction::FlashHex, true},   {"bin", CliAction::FlashBin, true},
    {"erase", CliAction::Erase, false},   {"check", CliAction::Check, true},
    {"detect", CliAction::Detect, false}, {"verify", CliAction::Verify, true},
    {"read", CliAction::Read, true},      {"ports", CliAction::Ports, false},
};

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::optional<int> PortNamed(const std::string& name) {
  const std::string upper = Upper(name);
  if (upper == "COM1") return 1;
  if (upper == "COM2") return 2;
  return std::nullopt;
}

// Any COM number ("com12" is COM12), or an absolute device path such as
// /dev/ttyUSB0 or a /dev/serial/by-id/... link; empty for anything else.
std::string OtherPortNamed(const std::string& name) {
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
      request.pages = true;
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
      request.portName = request.port ? std::string() : OtherPortNamed(name);
      if (!request.port && request.portName.empty()) {
        return UsageError{Quoted(name) + " is no port: use COMn or a device path"};
      }
    } else {
      return UsageError{"unknown option " + Quoted(argument)};
    }
  }

  if (operands.empty()) {
    return UsageError{"no command given: hex, bin, erase, check, detect, verify, read or ports"};
  }
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandWord& c) { return operands[0] == c.word; });
  if (command == std::end(kCommands)) {
    return UsageError{"unknown command " + Quoted(operands[0]) +
                      ": use hex, bin, erase, check, detect, verify, read or ports"};
  }
  request.action = command->action;
  const std::size_t expected = command->takesFile ? 2 : 1;
  if (operands.size() < expected) return UsageError{Quoted(operands[0]) + " needs a file"};
  if (operands.size() > expected) {
    return UsageError{"too many arguments, from " + Quoted(operands[expected]) + " on"};
  }
  if (command->takesFile) request.file = operands[1];
  if (request.verify && request.action != CliAction::FlashHex &&
      request.action != CliAction::FlashBin) {
    return UsageError{"option '--verify' goes with hex and bin"};
  }
  if (request.pages && request.action != CliAction::FlashHex &&
      request.action != CliAction::FlashBin) {
    return UsageError{"option '--pages' is for hex and bin only"};
  }
  return request;
}

std::string UsageText() {
  return R"(Usage: flash89-cli [OPTIONS] hex FILE    erase the AT89S8253, write an Intel HEX image
       flash89-cli [OPTIONS] bin FILE    erase it, write a binary image from address 0
       flash89-cli [OPTIONS] erase       erase it
       flash89-cli check FILE            read and check an image; touches no port
       flash89-cli [OPTIONS] detect      read the chip's signature
       flash89-cli [OPTIONS] verify FILE compare the chip with an image (.hex, else binary)
       flash89-cli [OPTIONS] read FILE   read the whole flash into FILE.hex or FILE.bin
       flash89-cli ports                 list the serial ports; opens none

Every image is read and checked whole before the chip is touched. detect,
verify, read and --verify need a cable that brings the chip's MISO back to
CTS (DB9 pin 8); none of them erases or writes the chip by itself.

Options:
  -p, --port PORT       the port: COM1, COM2, any COMn or a device path;
                        without it COM2 is tried, then COM1
  -l, --log             print the download's log lines on standard output
      --verify          hex, bin: check the chip's signature before erasing it,
                        and read the image back after writing it
      --pages           write hex and bin images 64 bytes to a page: one write
                        cycle per page instead of per byte, a full chip in
                        about 5 s instead of 75 s (the window writes byte by
                        byte)
  -q, --quiet           print nothing but errors
  -h, --help            print this help and exit
  -V, --version         print the version and exit

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
  7    no AT89S8253 answered (no line back to CTS, no chip, no supply, or
       another chip): nothing was erased
  8    bytes read back differ from the image
  130  interrupted (Ctrl+C): the chip may be erased or partly written
)";
}
