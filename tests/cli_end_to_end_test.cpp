// The real flash89-cli, run as a Makefile would run it, with the fake
// serial device preloaded at the operating system's boundary: every call
// it makes on a port is in the trace, and a chip model reads the waveform.
#include "cli_end_to_end_fixture.h"

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
