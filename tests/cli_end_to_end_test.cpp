// The real flash89-cli, run as a Makefile would run it, with the fake
// serial device preloaded at the operating system's boundary: every call
// it makes on a port is in the trace, and a chip model reads the waveform.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "image/hex_output.h"
#include "line_states.h"
#include "sim/chip_model.h"
#include "sim/chip_options.h"
#include "sim/trace_file.h"
#include "temp_files.h"

extern char** environ;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// How a shell reports the end of a program: its exit status, or 128 and
// the signal that ended it.
int ShellStatus(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

struct Finished {
  int status;
  std::string out;
  std::string err;
};

class CliEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    cli_ = Env("FLASH89_CLI");
    preload_ = Env("FLASH89_PRELOAD");
    ASSERT_FALSE(cli_.empty() || preload_.empty()) << "run through ctest";
    std::ofstream{Com2()};  // present; COM1 is absent
  }

  std::string Com1() const { return folder_.Path("com1"); }
  std::string Com2() const { return folder_.Path("com2"); }

  // Standard output goes to a file, or to the given descriptor.
  pid_t Start(const std::vector<std::string>& arguments, int out = -1) {
    std::vector<std::string> environment = {
        "LD_PRELOAD=" + preload_ + extraPreload_,
        "FLASH89_FAKE_SERIAL=" + Com1() + "," + Com2() + com2Cable_,
        "FLASH89_FAKE_TRACE=" + folder_.Path("trace"),
        "FLASH89_COM1=" + Com1(),
        "FLASH89_COM2=" + Com2(),
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0",
        // Whatever the program keeps on disk stays in the test's folder.
        "TMPDIR=" + folder_.Path(""),
    };
    environment.insert(environment.end(), extraEnvironment_.begin(), extraEnvironment_.end());
    for (char** variable = environ; *variable != nullptr; ++variable) {
      const std::string entry = *variable;
      if (entry.starts_with("PATH=") || entry.starts_with("HOME=")) environment.push_back(entry);
    }
    std::vector<std::string> argv = {cli_};
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (out >= 0) {
      posix_spawn_file_actions_adddup2(&files, out, STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, folder_.Path("out").c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, folder_.Path("err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argvPointers, environmentPointers;
    for (std::string& argument : argv) argvPointers.push_back(argument.data());
    argvPointers.push_back(nullptr);
    for (std::string& entry : environment) environmentPointers.push_back(entry.data());
    environmentPointers.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, cli_.c_str(), &files, nullptr, argvPointers.data(),
                                   environmentPointers.data());
    posix_spawn_file_actions_destroy(&files);
    EXPECT_EQ(failed, 0);
    return pid;
  }

  Finished Wait(pid_t pid) {
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return {ShellStatus(status), ReadWhole(folder_.Path("out")), ReadWhole(folder_.Path("err"))};
  }

  Finished Run(const std::vector<std::string>& arguments) { return Wait(Start(arguments)); }

  std::vector<TraceRecord> TraceOf(const std::string& device) const {
    std::vector<TraceRecord> records;
    for (TraceRecord& record : ReadTrace(folder_.Path("trace"))) {
      if (record.device == device) records.push_back(std::move(record));
    }
    return records;
  }

  // The chip as the fake port's options (its cable's and its own) made it,
  // after every line change it saw.
  ChipModel ChipOn(const std::string& device, const std::string& trace = "trace",
                   const std::string& options = "") const {
    ChipModel chip;
    EXPECT_TRUE(ApplyChipOptions(options, chip)) << options;
    chip.Feed(LineEventsOf(ReadTrace(folder_.Path(trace)), device));
    EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
    return chip;
  }

  static std::array<std::uint8_t, ChipModel::kFlashSize> ErasedFlashWith(const std::string& image) {
    std::array<std::uint8_t, ChipModel::kFlashSize> flash{};
    flash.fill(0xFF);
    std::copy(image.begin(), image.end(), flash.begin());
    return flash;
  }

  static bool IsLineSwitch(const TraceRecord& record) {
    return record.call == "TIOCMBIS" || record.call == "TIOCSBRK" || record.call == "TIOCCBRK";
  }

  TempFolder folder_;
  std::string cli_;
  std::string preload_;
  std::string com2Cable_;  // the fake port's options for its line back to CTS
  std::string extraPreload_;
  std::vector<std::string> extraEnvironment_;
};

}  // namespace

TEST_F(CliEndToEnd, HexAndBinaryImagesLandByteForByte) {
  const std::string image = ReadWhole(TestImage("blink.bin"));
  for (const char* command : {"hex", "bin"}) {
    SCOPED_TRACE(command);
    std::filesystem::remove(folder_.Path("trace"));
    const std::string file =
        TestImage(command == std::string("hex") ? "blink_lf.hex" : "blink.bin");
    const Finished run = Run({command, file});
    EXPECT_EQ(run.status, 0) << run.err;
    // Between the port and the end, the plain progress lines of a run
    // without a terminal, as many as the real time let fall due: a busy
    // host takes longer.
    const std::regex expected(
        "flash89-cli: COM2 geöffnet\n"
        "(flash89-cli: [0-9]+ %, [0-9]+ von 307 Bytes, noch [0-9]+:[0-9]{2}\n)+"
        "flash89-cli: Chip gelöscht und beschrieben\n");
    EXPECT_TRUE(std::regex_match(run.err, expected)) << run.err;
    const ChipModel chip = ChipOn(Com2());
    EXPECT_EQ(chip.EraseCount(), 1);
    EXPECT_EQ(chip.Flash(), ErasedFlashWith(image));
    EXPECT_EQ(TraceOf(Com2()).back().call, "close");
  }
}

TEST_F(CliEndToEnd, MalformedFileExitsWithItsStatusBeforeAnyPortIsOpened) {
  const std::string bad = folder_.Write("bad.hex", ":0300000002003BC1\n:00000001FF\n");
  const Finished run = Run({"--port", "COM2", "hex", bad});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "flash89-cli: Zeile 1: Prüfsummenfehler\n");
  EXPECT_TRUE(TraceOf(Com2()).empty());
}

TEST_F(CliEndToEnd, AbsentPortExitsWithItsStatusAndNothingIsSwitched) {
  Finished run = Run({"--port", "COM1", "erase"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "flash89-cli: COM1 nicht bereit\n");

  std::filesystem::remove(Com2());
  run = Run({"bin", TestImage("blink.bin")});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "flash89-cli: COM2 nicht bereit\nflash89-cli: COM1 nicht bereit\n");
  for (const std::string& device : {Com1(), Com2()}) {
    for (const TraceRecord& record : TraceOf(device)) EXPECT_FALSE(IsLineSwitch(record));
  }
}

TEST_F(CliEndToEnd, PortNamedByItsPathIsThatDevice) {
  Finished run = Run({"--port", Com2(), "erase"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ChipOn(Com2()).EraseCount(), 1);
  run = Run({"--port", Com1(), "erase"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "flash89-cli: " + Com1() + " nicht bereit\n");
}

TEST_F(CliEndToEnd, CtrlCMidDownloadReleasesAllThreeLinesAndClosesThePort) {
  const pid_t cli = Start({"--bytes", "--log", "bin", TestImage("big_1k.bin")});
  // A few log lines out: bytes are being written (the image takes 12 s).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::string log;
  while (std::count(log.begin(), log.end(), '\n') < 3 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    log = ReadWhole(folder_.Path("out"));
  }
  ASSERT_GE(std::count(log.begin(), log.end(), '\n'), 3) << "no download under way";
  ASSERT_EQ(kill(cli, SIGINT), 0);
  const Finished run = Wait(cli);

  EXPECT_EQ(run.status, 130);
  EXPECT_EQ(run.err,
            "flash89-cli: COM2 geöffnet\n"
            "flash89-cli: Abgebrochen: der Chip ist möglicherweise gelöscht oder nur teilweise "
            "beschrieben\n");
  const std::vector<TraceRecord> trace = TraceOf(Com2());
  ASSERT_GE(trace.size(), 4u);
  // TXD out of break, DTR off, RTS off, then the port is closed.
  std::vector<std::string> last;
  for (auto record = trace.end() - 4; record != trace.end(); ++record) {
    last.push_back(record->call + " " + std::to_string(record->argument));
  }
  EXPECT_EQ(last, (std::vector<std::string>{"TIOCCBRK 0", "TIOCMBIC " + std::to_string(TIOCM_DTR),
                                            "TIOCMBIC " + std::to_string(TIOCM_RTS), "close 0"}));
  EXPECT_TRUE(LinesAfter(LineEventsOf(ReadTrace(folder_.Path("trace")), Com2())).AllReleased());

  // Partly written: a part of the image from its start, the rest erased.
  const std::string image = ReadWhole(TestImage("big_1k.bin"));
  const ChipModel chip = ChipOn(Com2());
  std::size_t written = 0;
  while (written < image.size() &&
         chip.Flash()[written] == static_cast<std::uint8_t>(image[written])) {
    ++written;
  }
  EXPECT_GE(written, 32u);
  EXPECT_LT(written, image.size());
  EXPECT_EQ(chip.Flash(), ErasedFlashWith(image.substr(0, written)));
}

TEST_F(CliEndToEnd, LogReaderThatGoesAwayDoesNotStopTheDownload) {
  // As in "flash89-cli --log hex FILE | head -n 1": nobody reads the log.
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  close(pipeEnds[0]);
  const pid_t cli = Start({"--log", "hex", TestImage("blink_32.hex")}, pipeEnds[1]);
  close(pipeEnds[1]);
  const Finished run = Wait(cli);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ChipOn(Com2()).Flash(), ErasedFlashWith(ReadWhole(TestImage("blink.bin"))));
}

// Where the cable brings MISO back to CTS.
// The same cable on COM2's own lines, or on an FTDI adapter behind its tty
// (the fake adapters preloaded after the fake device), under either baud
// multiplier: there the chip sits on the adapter's pins.
enum class ReadPath { SerialPort, AdapterBy16, AdapterBy4 };

class CliReadBack : public CliEndToEnd, public testing::WithParamInterface<ReadPath> {
 protected:
  void SetUp() override {
    CliEndToEnd::SetUp();
    if (GetParam() == ReadPath::SerialPort) return;
    ftdiPreload_ = Env("FLASH89_FTDI_PRELOAD");
    if (ftdiPreload_.empty()) GTEST_SKIP() << "built without the FTDI adapter";
  }

  Finished RunOnCable(const std::string& cable, const std::vector<std::string>& arguments) {
    cable_ = cable;
    // Behind an adapter the tty's own CTS brings nothing back: only the
    // adapter's pins can answer.
    com2Cable_ = GetParam() == ReadPath::SerialPort ? cable : "";
    if (GetParam() != ReadPath::SerialPort) {
      extraPreload_ = " " + ftdiPreload_;
      const char* multiplier = GetParam() == ReadPath::AdapterBy16 ? ":16" : ":4";
      extraEnvironment_ = {
          "FLASH89_FAKE_FTDI=" + Com2() + multiplier,
          "FLASH89_FAKE_FTDI_TRACE=" + folder_.Path("adapter-trace"),
          "FLASH89_FAKE_FTDI_CABLE=" + cable.substr(cable.empty() ? 0 : 1),
          "FLASH89_FAKE_FTDI_FLASH=" + folder_.Path("adapter-flash"),
      };
    }
    return Run(arguments);
  }

  // The chip at the end of the cable, from every line change it saw.
  ChipModel Chip() const {
    if (GetParam() == ReadPath::SerialPort) return ChipOn(Com2(), "trace", cable_);
    return ChipOn("ftdi:com2", "adapter-trace", cable_);
  }

  std::string ftdiPreload_;
  std::string cable_;
};

INSTANTIATE_TEST_SUITE_P(Paths, CliReadBack,
                         testing::Values(ReadPath::SerialPort, ReadPath::AdapterBy16,
                                         ReadPath::AdapterBy4));

TEST_P(CliReadBack, DetectNamesTheChipUnderEitherPolarity) {
  for (const char* cable : {":cts=miso", ":cts=inverted"}) {
    SCOPED_TRACE(cable);
    const Finished detect = RunOnCable(cable, {"detect", "--port", "COM2"});
    EXPECT_EQ(detect.status, 0) << detect.err;
    EXPECT_EQ(detect.out,
              "AT89S8253 an COM2 (Signatur 1E 73 01)\n"
              "Fuses: serial-programming an, x2 aus, user-row an, external-clock aus\n"
              "Sperrstufe 0: nicht gesperrt\n");
  }
  EXPECT_EQ(Chip().EraseCount(), 0);
}

TEST_P(CliReadBack, NoLineBackAndALoopedCableAreNoChipAndNothingIsErased) {
  for (const char* cable : {":cts=none", ":cts=rts"}) {
    SCOPED_TRACE(cable);
    const Finished detect = RunOnCable(cable, {"detect", "--port", "COM2"});
    EXPECT_EQ(detect.status, 7);
    EXPECT_NE(detect.err.find("Kein AT89S8253 an COM2: keine Antwort"), std::string::npos)
        << detect.err;
    const Finished flash =
        RunOnCable(cable, {"-q", "hex", "--verify", TestImage("blink_lf.hex"), "--port", "COM2"});
    EXPECT_EQ(flash.status, 7) << flash.err;
  }
  EXPECT_EQ(Chip().EraseCount(), 0);
}

TEST_P(CliReadBack, VerifiedDownloadLandsAndReadGivesTheFlashBack) {
  const std::string blink = ReadWhole(TestImage("blink.bin"));
  const Finished flash = RunOnCable(
      ":cts=inverted", {"--bytes", "hex", "--verify", TestImage("blink_lf.hex"), "-p", "COM2"});
  ASSERT_EQ(flash.status, 0) << flash.err;
  EXPECT_NE(flash.err.find("Geprüft"), std::string::npos) << flash.err;
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith(blink));

  const std::string out = folder_.Path("out.bin");
  ASSERT_EQ(RunOnCable(":cts=inverted", {"-q", "read", out, "-p", "COM2"}).status, 0);
  const std::string read = ReadWhole(out);
  const auto flashed = ErasedFlashWith(blink);
  EXPECT_EQ(read, std::string(flashed.begin(), flashed.end()));
  EXPECT_EQ(RunOnCable(":cts=inverted", {"-q", "verify", out, "-p", "COM2"}).status, 0);

  // Page by page, each page's write cycle polled over the same line.
  const Finished pages = RunOnCable(
      ":cts=inverted", {"bin", "--pages", "--verify", TestImage("blink.bin"), "-p", "COM2"});
  EXPECT_EQ(pages.status, 0) << pages.err;
  EXPECT_NE(pages.err.find("Geprüft"), std::string::npos) << pages.err;
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith(blink));
}

TEST_P(CliReadBack, AByteThatDoesNotHoldFailsTheVerifyWithItsAddress) {
  // 0x0005 of blink.bin holds 0x74; the weak cell flips its lowest bit.
  const std::string cable = ":cts=miso:weak=5";
  ASSERT_EQ(RunOnCable(cable, {"-q", "hex", TestImage("blink_lf.hex"), "-p", "COM2"}).status, 0);
  const Finished verify = RunOnCable(cable, {"verify", TestImage("blink_lf.hex"), "-p", "COM2"});
  EXPECT_EQ(verify.status, 8);
  EXPECT_NE(verify.err.find("1 Byte anders als im Image (0005: gelesen "), std::string::npos)
      << verify.err;
}

TEST_F(CliEndToEnd, PagesLandWholeImagesAndImagesWithGapsAndSendOnlyThePagesTouched) {
  // The whole chip as a binary; as HEX, three runs of bytes with gaps
  // between them, the first and the last page only partly covered.
  std::string full(ChipModel::kFlashSize, '\0');
  for (std::size_t at = 0; at < full.size(); ++at) full[at] = static_cast<char>(at * 7 + (at >> 8));
  std::string gaps(ChipModel::kFlashSize, '\xFF');
  for (const auto& [from, to] : {std::pair{0x0000, 0x0013}, {0x0100, 0x0111}, {0x2FF0, 0x2FFC}}) {
    for (int at = from; at < to; ++at) gaps[static_cast<std::size_t>(at)] = static_cast<char>(at);
  }
  const std::string hex = folder_.Write(
      "gaps.hex", HexImageText({reinterpret_cast<const std::uint8_t*>(gaps.data()), gaps.size()}));
  const struct {
    std::vector<std::string> arguments;
    const std::string& image;
    std::vector<int> pages;
  } cases[] = {
      {{"--pages", "--log", "bin", folder_.Write("full.bin", full)}, full, {}},
      {{"--pages", "--log", "hex", hex}, gaps, {0x0000, 0x0100, 0x2FC0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    std::filesystem::remove(folder_.Path("trace"));
    const Finished run = Run(c.arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    const ChipModel chip = ChipOn(Com2());
    EXPECT_EQ(chip.Flash(),
              ErasedFlashWith(c.image.substr(0, c.image.find_last_not_of('\xFF') + 1)));
    std::vector<int> pages;
    for (const ChipInstruction& instruction : chip.Instructions()) {
      EXPECT_NE(instruction.bytes[0], 0x40);
      if (instruction.bytes[0] == 0x50)
        pages.push_back(instruction.bytes[1] << 8 | instruction.bytes[2]);
    }
    if (c.pages.empty()) {
      EXPECT_EQ(pages.size(), ChipModel::kFlashSize / ChipModel::kPageSize);
    } else {
      EXPECT_EQ(pages, c.pages);
    }
  }
  // The log describes the image: byte mode's lines, whatever the mode.
  const std::string pageLog = Run({"--pages", "--log", "hex", hex}).out;
  EXPECT_EQ(Run({"--bytes", "--log", "hex", hex}).out, pageLog);
}

// The whole chip: the EEPROM, the user row, the fuses and the lock bits,
// and a chip that does not echo.

namespace {

class WholeChip : public CliReadBack {
 protected:
  // On a cable with MISO on CTS, before a chip with the given options.
  Finished On(const std::string& chip, std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"-p", "COM2"});
    return RunOnCable(":cts=miso" + chip, arguments);
  }

  static std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0x7F);
    return bytes;
  }

  template <std::size_t N>
  static std::array<std::uint8_t, N> BlankWith(const std::string& bytes) {
    std::array<std::uint8_t, N> memory{};
    memory.fill(0xFF);
    std::copy(bytes.begin(), bytes.end(), memory.begin());
    return memory;
  }
};

INSTANTIATE_TEST_SUITE_P(Paths, WholeChip,
                         testing::Values(ReadPath::SerialPort, ReadPath::AdapterBy16,
                                         ReadPath::AdapterBy4));

}  // namespace

TEST_P(WholeChip, FlashAndEepromLandWithOneEraseAndAreVerified) {
  const std::string eeprom =
      folder_.Write("data.hex", ":0300000011223397\n:0207FE00ABCD81\n:00000001FF\n");
  const Finished run = On("", {"hex", TestImage("blink_lf.hex"), "--eeprom", eeprom, "--verify"});
  ASSERT_EQ(run.status, 0) << run.err;
  const ChipModel chip = Chip();
  EXPECT_EQ(chip.EraseCount(), 1);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith(ReadWhole(TestImage("blink.bin"))));
  auto expected = BlankWith<ChipModel::kEepromSize>("\x11\x22\x33");
  expected[0x7FE] = 0xAB;
  expected[0x7FF] = 0xCD;
  EXPECT_EQ(chip.Eeprom(), expected);
}

TEST_P(WholeChip, KeepEepromKeepsAFullEepromAcrossTheErase) {
  const std::string held = Pattern(ChipModel::kEepromSize, 3);
  const std::string chip = ":eeprom=" + folder_.Write("held.bin", held);
  const Finished run = On(chip, {"-q", "bin", TestImage("blink.bin"), "--keep-eeprom"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Chip().EraseCount(), 1);
  EXPECT_EQ(Chip().Eeprom(), BlankWith<ChipModel::kEepromSize>(held));
  // Written back and compared: no copy is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path(""))) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("flash89-eeprom-"));
  }
}

TEST_P(WholeChip, WriteEepromRefusesAByteThatNeedsAnEraseAndWritesNothing) {
  std::string held(16, '\xFF');
  held[0x10 - 1] = '\x00';
  const std::string chip = ":eeprom=" + folder_.Write("held.bin", held);
  const std::string wanted = folder_.Write("wanted.bin", std::string(16, '\x01'));
  const Finished refused = On(chip, {"write-eeprom", wanted});
  EXPECT_EQ(refused.status, 10);
  EXPECT_NE(refused.err.find("EEPROM-Adresse 000F braucht ein Löschen"), std::string::npos)
      << refused.err;
  EXPECT_EQ(Chip().Eeprom(), BlankWith<ChipModel::kEepromSize>(held));

  // Bytes that only clear bits are written in place, the others left alone.
  std::string cleared(16, '\x0F');
  cleared[0x0F] = '\x00';
  const Finished written = On(chip, {"write-eeprom", folder_.Write("cleared.bin", cleared)});
  EXPECT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(Chip().Eeprom(), BlankWith<ChipModel::kEepromSize>(cleared));
  EXPECT_EQ(Chip().EraseCount(), 0);
}

TEST_P(WholeChip, UserRowIsWrittenOnlyWhileItsFuseAllowsAndReadsBack) {
  const std::string row = "board 0042";
  const std::string file = folder_.Write("row.bin", row);
  const std::string chip = ":fuses=0x0E";  // user-row writes off
  const Finished forbidden = On(chip, {"write-user-row", file});
  EXPECT_EQ(forbidden.status, 11) << forbidden.err;
  ASSERT_EQ(On(chip, {"-q", "fuses", "user-row=on"}).status, 0);
  const Finished written = On(chip, {"write-user-row", file});
  ASSERT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(Chip().UserRow(), BlankWith<ChipModel::kUserRowSize>(row));
  const std::string out = folder_.Path("out.bin");
  ASSERT_EQ(On(chip, {"-q", "read", "--user-row", out}).status, 0);
  EXPECT_EQ(ReadWhole(out), row + std::string(64 - row.size(), '\xFF'));
  EXPECT_EQ(On(chip, {"-q", "verify", "--user-row", file}).status, 0);
}

TEST_P(WholeChip, LockTwoStopsALaterVerifyWithItsOwnMessage) {
  ASSERT_EQ(On("", {"-q", "hex", TestImage("blink_lf.hex")}).status, 0);
  const Finished lock = On("", {"lock", "2"});
  ASSERT_EQ(lock.status, 0) << lock.err;
  EXPECT_EQ(Chip().LockBits(), 0x04);
  const Finished verify = On("", {"verify", TestImage("blink_lf.hex")});
  EXPECT_EQ(verify.status, 9);
  EXPECT_NE(verify.err.find("ist gegen Auslesen gesperrt"), std::string::npos) << verify.err;
  EXPECT_EQ(On("", {"lock", "1"}).status, 14);
}

TEST_P(WholeChip, FusesSetByNameChangeOnlyThoseFuses) {
  const Finished set = On("", {"fuses", "x2=on", "external-clock=on"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.out, "Fuses: serial-programming an, x2 an, user-row an, external-clock an\n");
  EXPECT_EQ(Chip().Fuses(), 0x00);
  ASSERT_EQ(On("", {"fuses", "x2=off"}).status, 0);
  EXPECT_EQ(Chip().Fuses(), 0x02);
}

TEST_P(WholeChip, SerialProgrammingStaysOnWithoutItsOptionAndNothingIsSent) {
  const Finished refused = On("", {"fuses", "serial-programming=off"});
  EXPECT_EQ(refused.status, 13);
  EXPECT_TRUE(Chip().Instructions().empty());
  EXPECT_EQ(Chip().Fuses(), 0x0A);
}

TEST_P(WholeChip, AChipThatDoesNotEchoIsRefusedBeforeAnyErase) {
  // Serial programming turned off: the chip does not answer its enable.
  for (const char* command : {"--verify", "--keep-eeprom"}) {
    SCOPED_TRACE(command);
    const Finished run = On(":fuses=0x0B", {"hex", TestImage("blink_lf.hex"), command});
    EXPECT_EQ(run.status, 7);
    EXPECT_NE(run.err.find("Kein AT89S8253 an COM2: keine Antwort"), std::string::npos) << run.err;
  }
  EXPECT_EQ(Chip().EraseCount(), 0);
}

// The bit clock, where the chip answers: found from its echo, or set by hand.

namespace {

// The phase that --verbose says the command used, in microseconds.
double PhaseSaid(const std::string& err) {
  std::smatch found;
  if (!std::regex_search(err, found, std::regex("Takt: ([0-9]+(,[0-9]+)?) µs"))) return 0;
  std::string number = found[1];
  std::replace(number.begin(), number.end(), ',', '.');
  return std::stod(number);
}

}  // namespace

TEST_P(WholeChip, AClockFoundFromTheEchoIsOneTheChipFollowsAndTheImageVerifies) {
  // Slowest first: a chip replayed with a faster crystal follows the
  // earlier runs' waveforms too.
  for (const char* mhz : {"3", "11.0592", "24"}) {
    SCOPED_TRACE(mhz);
    const Finished run =
        On(std::string(":xtal=") + mhz, {"-v", "hex", "--verify", TestImage("blink_lf.hex")});
    ASSERT_EQ(run.status, 0) << run.err;
    // Said, and no longer than the window's: a busy host's slow switches
    // lengthen the tries, and with them the phase found, up to the
    // window's. The chip judges what it saw (Chip() finds no violation);
    // how short the phase gets is checked in virtual time.
    const double phaseUs = PhaseSaid(run.err);
    EXPECT_GT(phaseUs, 0) << run.err;
    EXPECT_LE(phaseUs, 10) << run.err;
    const ChipModel chip = Chip();  // no bit taken wrong in what it carried out
    EXPECT_EQ(chip.GarbledWrites(), 0);
    EXPECT_EQ(chip.Flash(), ErasedFlashWith(ReadWhole(TestImage("blink.bin"))));
  }
}

TEST_P(WholeChip, ACableThatSwallowsShortPulsesMakesTheSearchSettleLonger) {
  const Finished run =
      On(":xtal=24:shifter=3us", {"-v", "hex", "--verify", TestImage("blink_lf.hex")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_GE(PhaseSaid(run.err), 3) << run.err;
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith(ReadWhole(TestImage("blink.bin"))));
}

TEST_P(WholeChip, AClockSetByHandThatTheChipCannotFollowDropsBackBeforeAnythingIsWritten) {
  // A 1 MHz crystal needs 8 us a phase; 2 us garbles the erase's echo.
  const Finished run =
      On(":xtal=1", {"-v", "--clock-us", "2", "hex", "--verify", TestImage("blink_lf.hex")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Echo oder Antwort falsch, weiter mit 10 µs je Phase"), std::string::npos)
      << run.err;
  const ChipModel chip = Chip();
  EXPECT_EQ(chip.CutOff(), 1);
  EXPECT_EQ(chip.GarbledWrites(), 0);
  EXPECT_EQ(chip.EraseCount(), 1);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith(ReadWhole(TestImage("blink.bin"))));
}
