// flash89-cli as a whole, in virtual time on the in-process fake device:
// what lands in the chip, what it says, and its exit status.
#include "ui/cli/cli_program.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <tuple>

#include "commands/commands.h"
#include "commands/text_log.h"
#include "fake_chip_fixture.h"
#include "temp_files.h"
#include "ui/cli/exit_status.h"

using fake_serial::DeviceState;

class CliProgram : public FakeChipTest {
 protected:
  void SetUp() override {
    FakeChipTest::SetUp();
    fake_serial::SetDevice("COM2", DeviceState::Present);
  }

  int Run(const std::vector<std::string>& arguments) {
    out_.str("");
    err_.str("");
    return RunCli(arguments, {out_, err_, false});
  }

  ChipModel Chip(std::string_view port) const {
    ChipModel chip = ChipOn(port);
    EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
    return chip;
  }

  static std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
  }

  std::ostringstream out_;
  std::ostringstream err_;
  TempFolder folder_;
};

TEST_F(CliProgram, WithoutComTwoTheCommandRunsOnComOneAndSaysSo) {
  fake_serial::SetDevice("COM2", DeviceState::Absent);
  fake_serial::SetDevice("COM1", DeviceState::Present);
  EXPECT_EQ(Run({"erase"}), kExitDone);
  EXPECT_EQ(Chip("COM1").EraseCount(), 1);
  // Plain output, a line per quarter of the command's estimated time.
  EXPECT_EQ(err_.str(),
            "flash89-cli: COM1 geöffnet\nflash89-cli: 26 %, noch 0:01\n"
            "flash89-cli: 52 %, noch 0:01\nflash89-cli: Chip gelöscht\n");
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

TEST_F(CliProgram, NamedPortIsUsedWithoutTrying) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  EXPECT_EQ(Run({"--port", "COM1", "--quiet", "bin", TestImage("blink.bin")}), kExitDone);
  EXPECT_EQ(Chip("COM1").Flash(), ErasedFlashWith(Bytes(ReadWhole(TestImage("blink.bin")))));
  EXPECT_EQ(fake_serial::Counts("COM2").opens, 0);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliProgram, AnyComPortIsNamedAndPortsListsThePresentOnesUnopened) {
  fake_serial::SetDevice("COM3", DeviceState::Present);
  fake_serial::SetLineBehaviour("COM3", {.driver = "ch341"});
  EXPECT_EQ(Run({"ports"}), kExitDone);
  EXPECT_EQ(out_.str(), "COM2\nCOM3, USB-Adapter CH340/CH341, Treiber ch341\n");
  EXPECT_EQ(fake_serial::Counts("COM3").opens + fake_serial::Counts("COM2").opens, 0);

  EXPECT_EQ(Run({"--port", "com3", "erase"}), kExitDone);
  EXPECT_EQ(Chip("COM3").EraseCount(), 1);
  EXPECT_EQ(fake_serial::Counts("COM2").opens, 0);
  EXPECT_EQ(Run({"--port", "COM4", "erase"}), kExitPortNotReady);
  EXPECT_EQ(err_.str(), "flash89-cli: COM4 nicht bereit\n");
}

TEST_F(CliProgram, LogGoesToStandardOutput) {
  const std::string path = folder_.Write("three.hex", ":0300000002003BC0\n:00000001FF\n");
  EXPECT_EQ(Run({"-q", "--log", "hex", path}), kExitDone);
  EXPECT_EQ(out_.str(), "\n0000  02 00 3B\n0000 \n");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliProgram, LogLinesOnTheProgressTerminalStartOnALineOfTheirOwn) {
  std::ostringstream terminal;
  double now = 0;  // every report is drawn
  const CliConsole console{terminal, terminal, true, true, [&] { return now += 1000; }};
  EXPECT_EQ(RunCli({"--log", "hex", TestImage("blink_lf.hex")}, console), kExitDone);
  std::istringstream shown(terminal.str());
  const std::regex logLine("[0-9A-F]{4}  [0-9A-F]{2}");
  int logLines = 0;
  for (std::string line; std::getline(shown, line);) {
    std::smatch found;
    if (!std::regex_search(line, found, logLine)) continue;
    ++logLines;
    EXPECT_EQ(found.position(), 0) << line;
  }
  EXPECT_EQ(logLines, 18);
}

TEST_F(CliProgram, EveryCommandTakesAnImageFileByTheRuleThatCheckNames) {
  fake_serial::SetLineBehaviour("COM2", {.cable = Cable::MisoOnCts});
  const std::string image = folder_.Write("blink.ihx", ReadWhole(TestImage("blink_lf.hex")));
  EXPECT_EQ(Run({"check", image}), kExitDone);
  EXPECT_EQ(out_.str(), "Intel-HEX-Datei, 307 Bytes von 0000 bis 0132\n");
  EXPECT_EQ(Run({"-q", "hex", image}), kExitDone);
  EXPECT_EQ(Run({"-q", "verify", image}), kExitDone) << err_.str();
  const std::string copy = folder_.Path("copy.ihx");
  EXPECT_EQ(Run({"-q", "read", copy}), kExitDone) << err_.str();
  EXPECT_EQ(Run({"-q", "verify", copy}), kExitDone) << err_.str();
  EXPECT_EQ(ReadWhole(copy).substr(0, 1), ":");
}

TEST_F(CliProgram, BytesSendTheWindowsWaveform) {
  // Each switch with its time after the first.
  const auto waveform = [] {
    std::vector<std::tuple<std::int64_t, PortLine, bool>> switches;
    const auto& events = fake_serial::Events("COM2");
    for (const LineEvent& event : events) {
      switches.emplace_back(event.ns - events.front().ns, event.line, event.on);
    }
    return switches;
  };
  ASSERT_EQ(Run({"-q", "--bytes", "hex", TestImage("blink_lf.hex")}), kExitDone);
  const auto sent = waveform();
  fake_serial::Reset();
  fake_serial::SetDevice("COM2", DeviceState::Present);
  // The window's command, with its title's progress.
  struct : ProgressListener {
    void OnProgress(const CommandProgress&) override {}
  } title;
  TextLog log;
  ASSERT_EQ(DownloadCommand({.file = FileNamed(TestImage("blink_lf.hex"))}, log, &title),
            std::nullopt);
  EXPECT_EQ(sent, waveform());
}

TEST_F(CliProgram, BadFileIsNamedBeforeAnyPortIsTried) {
  const struct {
    const char* command;
    std::string path;
    const char* error;
  } cases[] = {
      {"hex", folder_.Write("bad-sum.hex", ":0300000002003BC1\n:00000001FF\n"),
       "flash89-cli: Zeile 1: Prüfsummenfehler\n"},
      {"hex", TestImage("blink.bin"), "flash89-cli: Zeile 1: Doppelpunkt fehlt\n"},
      {"bin", folder_.Write("big.bin", std::string(12289, '\0')),
       "flash89-cli: Datei größer als der Flash-Speicher (12288 Bytes)\n"},
      {"bin", folder_.Path("missing.bin"), "flash89-cli: Datei nicht gefunden\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(Run({"--quiet", c.command, c.path}), kExitBadFile);
    EXPECT_EQ(err_.str(), c.error);
    EXPECT_EQ(fake_serial::Counts("COM2").opens + fake_serial::Counts("COM1").opens, 0);
  }
}

TEST_F(CliProgram, LostPortStopsWithItsOwnStatus) {
  fake_serial::SetDevice("COM2", DeviceState::Present, 1000);
  EXPECT_EQ(Run({"--bytes", "bin", TestImage("blink.bin")}), kExitLineLost);
  EXPECT_EQ(err_.str(),
            "flash89-cli: COM2 geöffnet\nflash89-cli: Verbindung zu COM2 unterbrochen\n");
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

TEST_F(CliProgram, UnfitPortIsRefusedWithItsOwnStatus) {
  // A break that takes 2 ms where the other lines switch at once.
  fake_serial::SetLineBehaviour("COM2", {.breakCostNs = 2'000'000});
  EXPECT_EQ(Run({"hex", TestImage("blink_lf.hex")}), kExitPortUnfit);
  EXPECT_EQ(err_.str().rfind("flash89-cli: COM2 geöffnet\nflash89-cli: COM2 ist ungeeignet", 0), 0u)
      << err_.str();
  EXPECT_FALSE(ChipWasReset("COM2"));
}

TEST_F(CliProgram, CheckNamesTheImageOrItsFaultAndTouchesNoPort) {
  const std::string hexText = ReadWhole(TestImage("blink_lf.hex"));
  const struct {
    std::string path;
    int status;
    const char* out;
    const char* err;
  } cases[] = {
      {TestImage("blink_lf.hex"), kExitDone, "Intel-HEX-Datei, 307 Bytes von 0000 bis 0132\n", ""},
      {TestImage("blink.bin"), kExitDone, "Binärdatei, 307 Bytes von 0000 bis 0132\n", ""},
      {TestImage("big_1k.hex"), kExitDone, "Intel-HEX-Datei, 1024 Bytes von 0000 bis 03FF\n", ""},
      // Other names by their first character.
      {folder_.Write("blink.txt", hexText), kExitDone,
       "Intel-HEX-Datei, 307 Bytes von 0000 bis 0132\n", ""},
      {folder_.Write("BLINK.IHX", hexText), kExitDone,
       "Intel-HEX-Datei, 307 Bytes von 0000 bis 0132\n", ""},
      {folder_.Write("blink.img", std::string("\x02\x00\x06", 3)), kExitDone,
       "Binärdatei, 3 Bytes von 0000 bis 0002\n", ""},
      {folder_.Write("gap.hex", ":0110000011DE\n:01000500AA50\n:00000001FF\n"), kExitDone,
       "Intel-HEX-Datei, 2 Bytes von 0005 bis 1000\n", ""},
      {folder_.Write("empty.hex", ":00000001FF\n"), kExitDone, "Intel-HEX-Datei, 0 Bytes\n", ""},
      {folder_.Write("cut.hex", ":0300000002003BC0\n"), kExitBadFile, "",
       "flash89-cli: Endesatz fehlt\n"},
      {folder_.Path("missing.hex"), kExitBadFile, "", "flash89-cli: Datei nicht gefunden\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(Run({"check", c.path}), c.status);
    EXPECT_EQ(out_.str(), c.out);
    EXPECT_EQ(err_.str(), c.err);
  }
  EXPECT_EQ(fake_serial::Counts("COM2").opens + fake_serial::Counts("COM1").failedOpens, 0);
}

TEST_F(CliProgram, UsageHelpAndVersion) {
  EXPECT_EQ(Run({"flash", "x.hex"}), kExitUsage);
  EXPECT_EQ(err_.str(),
            "flash89-cli: unknown command 'flash': use hex, bin, erase, check, detect, verify, "
            "read, ports, write-eeprom, write-user-row, fuses or lock\n"
            "Try 'flash89-cli --help' for more information.\n");
  EXPECT_EQ(out_.str(), "");

  EXPECT_EQ(Run({"--help"}), kExitDone);
  EXPECT_EQ(out_.str().rfind("Usage: flash89-cli", 0), 0u);

  EXPECT_EQ(Run({"--version"}), kExitDone);
  EXPECT_EQ(out_.str(), "flash89-cli " FLASH89_VERSION "\n");
  EXPECT_EQ(fake_serial::Counts("COM2").opens, 0);
}
