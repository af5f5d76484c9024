// The command line of flash89-cli: what it asks for, or why it is wrong.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "commands/chip_config_commands.h"
#include "image/image_fault.h"

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
  Ports,
  WriteEeprom,
  WriteUserRow,
  Fuses,
  Lock,
};

struct CliRequest {
  CliAction action = CliAction::Help;
  // The port as the system names it: "COM2", "COM12", "/dev/ttyUSB0";
  // empty: COM2, else COM1, as the window starts.
  std::string port;
  std::string file;  // for FlashHex, FlashBin, Check, Verify, Read and the write commands
  bool quiet = false;
  bool log = false;
  bool verify = false;  // hex and bin: the chip checked first, the image read back after
  // hex, bin and the write commands write page by page; --bytes writes
  // byte by byte as the window does.
  bool pages = true;
  ImageTarget target = ImageTarget::Flash;  // read and verify: --eeprom, --user-row
  std::string eepromFile;                   // hex and bin: --eeprom
  bool keepEeprom = false;
  int lockLevel = 0;  // hex and bin: --lock; lock: its level
  std::vector<FuseChange> fuseChanges;
  bool disableSerialProgramming = false;
  // --clock-us: the bit phase in microseconds; none: the window's, or a
  // shorter one found where the chip answers.
  std::optional<double> clockUs;
  bool verbose = false;  // says the bit clock the command used

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
