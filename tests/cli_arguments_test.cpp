// flash89-cli's command line: what each form asks for, and what is refused.
#include <gtest/gtest.h>

#include "ui/cli/arguments.h"

namespace {

CliRequest Request(CliAction action, std::optional<int> port = {}, std::string file = {},
                   bool quiet = false, bool log = false) {
  CliRequest request;
  request.action = action;
  request.port = port;
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
      {{"--port", "COM1", "bin", "blink.bin"}, Request(A::FlashBin, 1, "blink.bin")},
      {{"bin", "blink.bin", "-p", "com2"}, Request(A::FlashBin, 2, "blink.bin")},
      {{"--port=COM1", "erase"}, Request(A::Erase, 1)},
      {{"-q", "hex", "a.hex", "--log"}, Request(A::FlashHex, {}, "a.hex", true, true)},
      {{"check", "image"}, Request(A::Check, {}, "image")},
      // After "--" a file may start with a dash.
      {{"-l", "--", "hex", "-odd.hex"}, Request(A::FlashHex, {}, "-odd.hex", false, true)},
      {{"hex", "-"}, Request(A::FlashHex, {}, "-")},
      // Help and version answer whatever else is on the line.
      {{"hex", "--version"}, Request(A::Version)},
      {{"--bogus", "-h"}, Request(A::Help)},
      {{"--port", "COM9", "--help"}, Request(A::Help)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const auto parsed = ParseArguments(c.arguments);
    ASSERT_TRUE(std::holds_alternative<CliRequest>(parsed)) << std::get<UsageError>(parsed).text;
    EXPECT_EQ(std::get<CliRequest>(parsed), c.request);
  }
}

TEST(CliArguments, WrongUsageIsNamed) {
  const struct {
    std::vector<std::string> arguments;
    const char* error;
  } cases[] = {
      {{}, "no command given: hex, bin, erase or check"},
      {{"flash", "a.hex"}, "unknown command 'flash': use hex, bin, erase or check"},
      {{"hex"}, "'hex' needs a file"},
      {{"erase", "a.hex"}, "too many arguments, from 'a.hex' on"},
      {{"bin", "a.bin", "b.bin"}, "too many arguments, from 'b.bin' on"},
      {{"--port", "COM3", "erase"}, "'COM3' is no port: use COM1 or COM2"},
      {{"--port=", "erase"}, "'' is no port: use COM1 or COM2"},
      {{"erase", "--port"}, "option '--port' needs a port: COM1 or COM2"},
      {{"-x", "erase"}, "unknown option '-x'"},
      {{"--pages", "erase"}, "option '--pages' is for hex and bin only"},
      {{"--", "--help"}, "unknown command '--help': use hex, bin, erase or check"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const auto parsed = ParseArguments(c.arguments);
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_EQ(std::get<UsageError>(parsed).text, c.error);
  }
}
