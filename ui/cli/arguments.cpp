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
    {"hex", CliAction::FlashHex, true},
    {"bin", CliAction::FlashBin, true},
    {"erase", CliAction::Erase, false},
    {"check", CliAction::Check, true},
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
    } else if (argument == "--pages") {
      request.pages = true;
    } else if (argument == "-p" || argument == "--port" || argument.starts_with("--port=")) {
      std::string name;
      if (argument.starts_with("--port=")) {
        name = argument.substr(7);
      } else if (i + 1 < arguments.size()) {
        name = arguments[++i];
      } else {
        return UsageError{"option " + Quoted(argument) + " needs a port: COM1 or COM2"};
      }
      request.port = PortNamed(name);
      if (!request.port) return UsageError{Quoted(name) + " is no port: use COM1 or COM2"};
    } else {
      return UsageError{"unknown option " + Quoted(argument)};
    }
  }

  if (operands.empty()) return UsageError{"no command given: hex, bin, erase or check"};
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandWord& c) { return operands[0] == c.word; });
  if (command == std::end(kCommands)) {
    return UsageError{"unknown command " + Quoted(operands[0]) + ": use hex, bin, erase or check"};
  }
  request.action = command->action;
  const std::size_t expected = command->takesFile ? 2 : 1;
  if (operands.size() < expected) return UsageError{Quoted(operands[0]) + " needs a file"};
  if (operands.size() > expected) {
    return UsageError{"too many arguments, from " + Quoted(operands[expected]) + " on"};
  }
  if (command->takesFile) request.file = operands[1];
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

Every image is read and checked whole before the chip is touched.

Options:
  -p, --port COM1|COM2  the port; without it COM2 is tried, then COM1
  -l, --log             print the download's log lines on standard output
      --pages           write hex and bin images 64 bytes to a page: one write
                        cycle per page instead of per byte, a full chip in
                        about 5 s instead of 75 s (the window writes byte by
                        byte)
  -q, --quiet           print nothing but errors
  -h, --help            print this help and exit
  -V, --version         print the version and exit

On Linux, COM1 and COM2 are /dev/ttyS0 and /dev/ttyS1, or the devices that
FLASH89_COM1 and FLASH89_COM2 name.

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
  130  interrupted (Ctrl+C): the chip may be erased or partly written
)";
}
