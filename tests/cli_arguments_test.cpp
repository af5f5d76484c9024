// flash89-cli's command line: what each form asks for, and what is refused.
#include <gtest/gtest.h>

#include "ui/cli/arguments.h"

namespace {

CliRequest Request(CliAction action, std::string port = {}, std::string file = {},
                   bool quiet = false, bool log = false) {
  CliRequest request;
  request.action = action;
  request.port = std::move(port);
  request.file = std::move(file);
  request.quiet = quiet;
  request.log = log;
  return request;
}

}  // namespace

TEST(CliArguments, EachFormAsksForItsCommand) {
  using A = CliAction;
  const struct {
    std::vector<std::string> arguments;
    CliRequest request;
  } cases[] = {
      {{"hex", "blink.hex"}, Request(A::FlashHex, {}, "blink.hex")},
      {{"--port", "COM1", "bin", "blink.bin"}, Request(A::FlashBin, "COM1", "blink.bin")},
      {{"bin", "blink.bin", "-p", "com2"}, Request(A::FlashBin, "COM2", "blink.bin")},
      {{"--port=COM1", "erase"}, Request(A::Erase, "COM1")},
      {{"-q", "hex", "a.hex", "--log"}, Request(A::FlashHex, {}, "a.hex", true, true)},
      {{"check", "image"}, Request(A::Check, {}, "image")},
      {{"detect"}, Request(A::Detect)},
      {{"verify", "a.hex"}, Request(A::Verify, {}, "a.hex")},
      {{"read", "out.bin", "-p", "COM1"}, Request(A::Read, "COM1", "out.bin")},
      // After "--" a file may start with a dash.
      {{"-l", "--", "hex", "-odd.hex"}, Request(A::FlashHex, {}, "-odd.hex", false, true)},
      {{"hex", "-"}, Request(A::FlashHex, {}, "-")},
      // Help and version answer whatever else is on the line.
      {{"hex", "--version"}, Request(A::Version)},
      {{"--bogus", "-h"}, Request(A::Help)},
      {{"--port", "COM9", "--help"}, Request(A::Help)},
      {{"ports"}, Request(A::Ports)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const auto parsed = ParseArguments(c.arguments);
    ASSERT_TRUE(std::holds_alternative<CliRequest>(parsed)) << std::get<UsageError>(parsed).text;
    EXPECT_EQ(std::get<CliRequest>(parsed), c.request);
  }
  const auto verified = ParseArguments({"bin", "--verify", "a.bin"});
  ASSERT_TRUE(std::holds_alternative<CliRequest>(verified));
  EXPECT_TRUE(std::get<CliRequest>(verified).verify);
}

TEST(CliArguments, AnyComNumberOrDevicePathIsANamedPort) {
  for (const auto& [given, named] : {std::pair{"com12", "COM12"}, std::pair{"COM3", "COM3"},
                                     std::pair{"/dev/ttyUSB0", "/dev/ttyUSB0"},
                                     std::pair{"/dev/serial/by-id/usb-FTDI_A5-if00-port0",
                                               "/dev/serial/by-id/usb-FTDI_A5-if00-port0"}}) {
    const auto parsed = ParseArguments({"--port", given, "erase"});
    ASSERT_TRUE(std::holds_alternative<CliRequest>(parsed)) << given;
    EXPECT_EQ(std::get<CliRequest>(parsed).port, named);
  }
}

TEST(CliArguments, WrongUsageIsNamed) {
  const struct {
    std::vector<std::string> arguments;
    const char* error;
  } cases[] = {
      {{},
       "no command given: hex, bin, erase, check, detect, verify, read, ports, write-eeprom, "
       "write-user-row, fuses or lock"},
      {{"flash", "a.hex"},
       "unknown command 'flash': use hex, bin, erase, check, detect, verify, read, ports, "
       "write-eeprom, "
       "write-user-row, fuses or lock"},
      {{"hex"}, "'hex' needs a file"},
      {{"erase", "a.hex"}, "too many arguments, from 'a.hex' on"},
      {{"bin", "a.bin", "b.bin"}, "too many arguments, from 'b.bin' on"},
      {{"--port", "COM0", "erase"}, "'COM0' is no port: use COMn or a device path"},
      {{"--port", "ttyUSB0", "erase"}, "'ttyUSB0' is no port: use COMn or a device path"},
      {{"--port=", "erase"}, "'' is no port: use COMn or a device path"},
      {{"erase", "--port"}, "option '--port' needs a port: COMn or a device path"},
      {{"ports", "COM2"}, "too many arguments, from 'COM2' on"},
      {{"-x", "erase"}, "unknown option '-x'"},
      {{"--verify", "erase"}, "option '--verify' goes with hex and bin"},
      {{"--pages", "erase"},
       "option '--pages' is for hex, bin, write-eeprom and write-user-row only"},
      {{"read"}, "'read' needs a file"},
      {{"lock"}, "'lock' needs a level: 1, 2 or 3"},
      {{"lock", "4"}, "lock level '4' is none of 1, 2 or 3"},
      {{"--lock", "1", "erase"}, "option '--lock' goes with hex and bin"},
      {{"fuses", "x2=yes"},
       "'x2=yes' is no fuse setting: use serial-programming, x2, user-row or external-clock "
       "with =on or =off"},
      {{"--pages", "--bytes", "hex", "a.hex"},
       "options '--pages' and '--bytes' exclude each other"},
      {{"hex", "a.hex", "--eeprom", "e.hex", "--keep-eeprom"},
       "options '--eeprom' and '--keep-eeprom' exclude each other"},
      {{"--keep-eeprom", "erase"}, "option '--keep-eeprom' goes with hex and bin"},
      {{"read", "--eeprom", "e.bin", "--user-row", "u.bin"},
       "options '--eeprom' and '--user-row' exclude each other"},
      {{"read", "--eeprom", "e.bin", "f.bin"}, "too many arguments, from 'f.bin' on"},
      {{"fuses", "--disable-serial-programming", "--eeprom", "e.bin"},
       "option '--eeprom' goes with hex, bin, read and verify"},
      {{"--", "--help"},
       "unknown command '--help': use hex, bin, erase, check, detect, verify, read, ports, "
       "write-eeprom, "
       "write-user-row, fuses or lock"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const auto parsed = ParseArguments(c.arguments);
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_EQ(std::get<UsageError>(parsed).text, c.error);
  }
}
