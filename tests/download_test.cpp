// Downloads through the command bodies: what lands in the chip's flash and
// what the log shows, and that a bad file never reaches the chip.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "commands/commands.h"
#include "commands/messages.h"
#include "commands/text_log.h"
#include "fake_chip_fixture.h"
#include "image/hex_text.h"
#include "temp_files.h"

using fake_serial::DeviceState;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// The log as a HEX download leaves it: lines joined by CR LF.
std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  const char* separator = "";
  for (const char* line : lines) {
    text += separator;
    text += line;
    separator = "\r\n";
  }
  return text;
}

}  // namespace

class Download : public FakeChipTest {
 public:
  void SetUp() override {
    FakeChipTest::SetUp();
    fake_serial::SetDevice("COM2", DeviceState::Present);
  }

  // On COM2, the requests' own port.
  std::optional<Fault> FlashHex(const std::string& path) {
    return DownloadCommand({.file = FileNamed(path)}, log_);
  }
  std::optional<Fault> FlashBin(const std::string& path) {
    return DownloadCommand({.file = FileNamed(path), .format = ImageFormat::Binary}, log_);
  }

  std::string FailureOf(std::optional<Fault> (Download::*command)(const std::string&),
                        const std::string& path) {
    const std::optional<Fault> fault = (this->*command)(path);
    return fault ? FaultText(*fault) : "no error";
  }

  ChipModel Chip() const {
    ChipModel chip = ChipOn("COM2");
    EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
    return chip;
  }

  TempFolder folder_;
  TextLog log_{"Download ...\r\nCOM2 geöffnet\r\n"};
};

TEST_F(Download, ThreeByteRecordLandsAndIsLogged) {
  FlashHex(folder_.Write("three.hex", ":0300000002003BC0\r\n:00000001FF\r\n"));
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith({0x02, 0x00, 0x3B}));
  EXPECT_EQ(log_.Text(), Lines({"", "0000  02 00 3B", "0000 "}));
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

TEST_F(Download, BytesBeyondSixteenGoOnAContinuationLine) {
  std::string record = ":14010000";
  unsigned sum = 0x14 + 0x01;
  for (unsigned i = 1; i <= 20; ++i) {
    record += ByteToHex(i);
    sum += i;
  }
  record += ByteToHex((0x100 - (sum & 0xFF)) & 0xFF);
  FlashHex(folder_.Write("twenty.hex", record + "\r\n:00000001FF\r\n"));
  std::vector<std::uint8_t> expected;
  for (std::uint8_t i = 1; i <= 20; ++i) expected.push_back(i);
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith(expected, 0x100));
  EXPECT_EQ(log_.Text(), Lines({"", "0100  01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10",
                                "      11 12 13 14", "0000 "}));
}

TEST_F(Download, EndRecordAloneErasesAndWritesNothing) {
  FlashHex(folder_.Write("empty.hex", ":00000001FF\r\n"));
  const ChipModel chip = Chip();
  EXPECT_EQ(chip.EraseCount(), 1);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith({}));
  EXPECT_EQ(log_.Text(), Lines({"", "0000 "}));
}

struct LoggedBinary {
  std::size_t size;
  std::vector<const char*> lines;
};

class BinaryLog : public Download, public testing::WithParamInterface<LoggedBinary> {};

TEST_P(BinaryLog, ImagesAreLoggedSixteenBytesToALine) {
  std::string image;
  for (std::size_t i = 0; i < GetParam().size; ++i) image += static_cast<char>(i);
  FlashBin(folder_.Write("image.bin", image));
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith(Bytes(image)));
  std::string expected;
  for (const char* line : GetParam().lines) expected += std::string(line) + "\r\n";
  EXPECT_EQ(log_.Text(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BinaryLog,
    testing::Values(LoggedBinary{0, {"0000 "}}, LoggedBinary{2, {"0000  00 01"}},
                    LoggedBinary{
                        32,
                        {"0000  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
                         "0010  10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F", "0020 "}},
                    LoggedBinary{40,
                                 {"0000  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
                                  "0010  10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F",
                                  "0020  20 21 22 23 24 25 26 27"}}),
    [](const auto& info) { return std::to_string(info.param.size) + "Bytes"; });

TEST_F(Download, BinaryBytesWaitTenMillisecondsEach) {
  FlashBin(folder_.Write("two.bin", std::string("\x12\x34", 2)));
  const ChipModel chip = Chip();
  const auto& writes = chip.Instructions();
  ASSERT_EQ(writes.size(), 5u);
  // From the start of one write to the start of the next: 32 bits and 10 ms.
  EXPECT_GE(writes[4].ns - writes[3].ns, 10'000'000 + 32 * 30'000);
}

TEST_F(Download, LogIsClearedWhenItGrowsPastTheLimit) {
  std::string text;
  for (unsigned record = 0; record < 300; ++record) {
    const unsigned sum = 0x01 + (record >> 8) + (record & 0xFF) + 0x5A;
    text += ":01" + ByteToHex(record >> 8) + ByteToHex(record & 0xFF) + "005A" +
            ByteToHex((0x100 - (sum & 0xFF)) & 0xFF) + "\n";
  }
  FlashHex(folder_.Write("many.hex", text + ":00000001FF\n"));
  // 1 empty line and 260 records, then the 261st record starts a new log.
  EXPECT_EQ(log_.GetLine(0), "0104  5A");
  EXPECT_EQ(log_.GetLine(39), "012B  5A");
  EXPECT_EQ(log_.GetLine(40), "0000 ");
  EXPECT_EQ(log_.LineCount(), 41);
}

class RealToolImage : public Download, public testing::WithParamInterface<const char*> {};

TEST_P(RealToolImage, LandsByteForByte) {
  const std::string binary = ReadWhole(TestImage("blink.bin"));
  ASSERT_FALSE(binary.empty());
  const std::string name = GetParam();
  if (name.ends_with(".bin")) {
    FlashBin(TestImage(name));
  } else {
    FlashHex(TestImage(name));
  }
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith(Bytes(binary)));
}

INSTANTIATE_TEST_SUITE_P(Download, RealToolImage,
                         testing::Values("blink_lf.hex", "blink_crlf.hex", "blink_32.hex",
                                         "blink.bin"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

TEST_F(Download, LowerCaseHexGivesTheSameFlashAsUpperCase) {
  FlashHex(folder_.Write("lower.hex", ":0400100001a2b3c4d2\n:00000001ff\n"));
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith({0x01, 0xA2, 0xB3, 0xC4}, 0x10));
}

struct SurroundedRecords {
  const char* name;
  std::string text;
};

class Surroundings : public Download, public testing::WithParamInterface<SurroundedRecords> {};

TEST_P(Surroundings, EveryDataRecordLandsWhateverSurroundsIt) {
  std::vector<std::uint8_t> expected{0x02, 0x00, 0x3B};
  expected.resize(0x10, 0xFF);
  expected.insert(expected.end(), {0xAA, 0xBB});
  EXPECT_EQ(FlashHex(folder_.Write("image.hex", GetParam().text)), std::nullopt);
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Download, Surroundings,
    testing::Values(
        // An empty data record skips nothing after it.
        SurroundedRecords{"EmptyDataRecord",
                          ":0300000002003BC0\n:00001000F0\n:02001000AABB89\n:00000001FF\n"},
        SurroundedRecords{"ByteOrderMark",
                          "\xEF\xBB\xBF:0300000002003BC0\r\n:02001000AABB89\r\n"
                          ":00000001FF\r\n"},
        SurroundedRecords{"TextAndFurtherEndRecordsAfterTheEnd",
                          ":0300000002003BC0\n:02001000AABB89\n:00000001FF\n:00000001FF\n"
                          ":020000040000FA\nnotes\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Download, ReadOnlyBinaryImageIsDownloaded) {
  const std::string path = folder_.Write("read-only.bin", "\xAA\x55");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  FlashBin(path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith({0xAA, 0x55}));
}

TEST_F(Download, CancelledDialogEndsSilently) {
  EXPECT_EQ(DownloadCommand({.file = [] { return std::string(); }}, log_), std::nullopt);
  EXPECT_FALSE(ChipWasReset("COM2"));
  EXPECT_EQ(log_.GetLine(1), "COM2 geöffnet");
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

TEST_F(Download, PortNotReadyIsReportedBeforeTheDialog) {
  bool asked = false;
  const auto dialog = [&] {
    asked = true;
    return std::string();
  };
  const auto fault = DownloadCommand({.port = "COM1", .file = dialog}, log_);
  EXPECT_EQ(fault, Fault(PortFault{PortFaultKind::NotReady, "COM1"}));
  EXPECT_FALSE(asked);
}

TEST_F(Download, BadFilesNeverPutTheChipIntoProgramming) {
  const std::string big(ChipModel::kFlashSize + 1, '\0');
  const struct {
    std::optional<Fault> (Download::*command)(const std::string&);
    std::string path;
    const char* error;
  } cases[] = {
      {&Download::FlashHex, folder_.Write("bad-sum.hex", ":0300000002003BC1\n:00000001FF\n"),
       "Zeile 1: Prüfsummenfehler"},
      {&Download::FlashHex, folder_.Write("cut.hex", ":0300000002003BC0\n"), "Endesatz fehlt"},
      {&Download::FlashHex, folder_.Write("overlap.hex", ":02000E00010FE0\n:01000F00AA46\n"),
       "Zeile 2: Adresse 000F doppelt belegt"},
      {&Download::FlashHex, folder_.Write("beyond.hex", ":013000000AC5\n:00000001FF\n"),
       "Zeile 1: Adresse 3000 liegt außerhalb des Flash-Speichers"},
      {&Download::FlashBin, folder_.Write("big.bin", big),
       "Datei größer als der Flash-Speicher (12288 Bytes)"},
      {&Download::FlashBin, folder_.Write("huge.bin", std::string(kMaxImageFileSize + 1, 'x')),
       "Datei zu groß"},
      {&Download::FlashHex, folder_.Path("missing.hex"), "Datei nicht gefunden"},
      {&Download::FlashBin, folder_.Path(""), "Dateizugriff verweigert"},
      // A boot loader and an application joined into one file.
      {&Download::FlashHex,
       folder_.Write("joined.hex", ":0300000002003BC0\n:00000001FF\n:01010000AA54\n:00000001FF\n"),
       "Zeile 3: Daten nach dem Endesatz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FailureOf(c.command, c.path), c.error);
    EXPECT_FALSE(ChipWasReset("COM2"));
    EXPECT_EQ(fake_serial::Counts("COM2").opens, fake_serial::Counts("COM2").closes);
    EXPECT_EQ(log_.GetLine(1), "COM2 geöffnet");
    EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
  }
}

TEST_F(Download, LineLostMidwayStopsTheDownloadWithTheInterruption) {
  fake_serial::SetDevice("COM2", DeviceState::Present, 1000);
  EXPECT_EQ(FailureOf(&Download::FlashBin, TestImage("blink.bin")),
            "Verbindung zu COM2 unterbrochen");
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
  EXPECT_LT(ChipOn("COM2").Instructions().size(), 12u);
}

class CancelledDownload : public Download, public testing::WithParamInterface<const char*> {};

TEST_P(CancelledDownload, StopsBeforeTheNextWriteWithTheLinesReleased) {
  const std::string image = ReadWhole(TestImage("big_1k.bin"));
  const std::string name = GetParam();
  // Asked during the tenth byte's write cycle: that cycle runs to its end.
  CancelWhenChip cancel("COM2", AfterWrites(10));
  std::optional<Fault> fault;
  {
    const ScopedWaitIdleWork during(cancel);
    fault = name.ends_with(".bin") ? FlashBin(TestImage(name)) : FlashHex(TestImage(name));
  }
  EXPECT_EQ(fault, Fault(PortFault{PortFaultKind::Cancelled, "COM2"}));
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith(Bytes(image.substr(0, 10))));
  EXPECT_TRUE(LinesAfter(fake_serial::Events("COM2")).AllReleased());
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Download, CancelledDownload, testing::Values("big_1k.hex", "big_1k.bin"),
                         [](const auto& info) {
                           return std::string(info.param).ends_with(".bin") ? "Bin" : "Hex";
                         });

TEST_F(Download, CancelAskedBeforeTheCommandSwitchesNothing) {
  RequestCancel();
  EXPECT_EQ(FlashBin(TestImage("blink.bin")), Fault(PortFault{PortFaultKind::Cancelled, "COM2"}));
  EXPECT_EQ(fake_serial::Counts("COM2").switches, 0);
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

class PageDownload : public Download {
 protected:
  // The virtual time a page download of the file takes.
  double SecondsFor(const std::string& path, bool verify = false) {
    const std::int64_t start = virtual_counter::NowNs();
    fault_ = DownloadCommand({.file = FileNamed(path), .mode = WriteMode::Pages, .verify = verify},
                             log_);
    return static_cast<double>(virtual_counter::NowNs() - start) / 1e9;
  }

  // A chip behind a line back that is done with a page in pageWriteNs.
  static void ChipAnsweringOnCts(std::int64_t pageWriteNs) {
    fake_serial::SetLineBehaviour(
        "COM2", {.cable = fake_serial::Cable::MisoOnCts, .pageWriteNs = pageWriteNs});
  }
  std::optional<Fault> fault_;
};

TEST_F(PageDownload, PolledPagesFollowTheChipsWriteCycle) {
  // Checked, each page's write polled: a chip done with a page in 2 ms
  // against one that takes 4.5 ms.
  constexpr std::int64_t kQuickPageNs = 2'000'000;
  const std::string image = TestImage("big_1k.hex");
  ChipAnsweringOnCts(ChipModel::kPageWriteNs);
  const double slow = SecondsFor(image, true);
  EXPECT_EQ(fault_, std::nullopt);
  FakeChipTest::SetUp();
  fake_serial::SetDevice("COM2", DeviceState::Present);
  ChipAnsweringOnCts(kQuickPageNs);
  const double quick = SecondsFor(image, true);
  EXPECT_EQ(fault_, std::nullopt);
  ChipModel chip;
  chip.SetPageWriteNs(kQuickPageNs);
  chip.Feed(fake_serial::Events("COM2"));
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_EQ(chip.Flash(), ErasedFlashWith(Bytes(ReadWhole(TestImage("big_1k.bin")))));
  // 16 pages, each about 2.5 ms sooner.
  EXPECT_LT(quick, slow - 16 * 0.002);
}

TEST_F(PageDownload, PageThatNeverReadsAsWrittenStopsTheCommandWithTheLinesReleased) {
  // A chip that answers but takes longer than any poll waits.
  ChipAnsweringOnCts(20'000'000);
  SecondsFor(folder_.Write("one.hex", ":03000000555555FE\r\n:00000001FF\r\n"), true);
  ASSERT_TRUE(fault_.has_value());
  EXPECT_EQ(FaultText(*fault_),
            "Seite 0000 nicht geschrieben: 003F liest nach 10 ms nicht wie geschrieben; der Chip "
            "ist möglicherweise nur teilweise beschrieben");
  EXPECT_TRUE(LinesAfter(fake_serial::Events("COM2")).AllReleased());
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

TEST_F(PageDownload, CancelStopsBetweenPagesWithTheLinesReleased) {
  // Asked during the third page's write cycle: three whole pages land.
  CancelWhenChip cancel("COM2", AfterWrites(3));
  {
    const ScopedWaitIdleWork during(cancel);
    SecondsFor(TestImage("big_1k.hex"));
  }
  EXPECT_EQ(fault_, Fault(PortFault{PortFaultKind::Cancelled, "COM2"}));
  const std::string image = ReadWhole(TestImage("big_1k.bin"));
  EXPECT_EQ(Chip().Flash(), ErasedFlashWith(Bytes(image.substr(0, 3 * kPageSize))));
  EXPECT_TRUE(LinesAfter(fake_serial::Events("COM2")).AllReleased());
}
