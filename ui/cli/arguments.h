// The command line of flash89-cli: what it asks for, or why it is wrong.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

enum class CliAction {
  Help,
  Version,
  FlashHex,
  FlashBin,
  Erase,
  Check,
  Detect,
  Verify,
  Read,
  Ports
};

struct CliRequest {
  CliAction action = CliAction::Help;
  std::optional<int> port;  // 1 or 2; none: COM2, else COM1, as the window starts
  std::string file;         // for FlashHex, FlashBin, Check, Verify and Read
  bool quiet = false;
  bool log = false;
  bool verify = false;  // hex and bin: the chip checked first, the image read back after
  // Any other port, as the system names it: "COM7", "/dev/ttyUSB0"; port
  // is none then.
  std::string portName;
  bool pages = false;  // hex and bin write page by page

  friend bool operator==(const CliRequest&, const CliRequest&) = default;
};

struct UsageError {
  std::string text;
};

// The arguments after the program's name. Options may come before or after
// the command; "--" ends them. --help and --version win over everything.
std::variant<CliRequest, UsageError> ParseArguments(const std::vector<std::string>& arguments);

// What --help prints.
std::string UsageText();
