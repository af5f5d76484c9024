// FTDI adapters on Windows through the D2XX library, run under Wine with
// the fake ftd2xx.dll in the system directory (scripts/test-windows.sh puts
// it there) and a copy planted beside this program. COM2 is a fake serial
// device that opens and configures (scripts/wine-fake-ports.sh).
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "commands/commands.h"
#include "commands/text_log.h"
#include "fake_ftd2xx_library.h"
#include "serial/adapter_lines.h"
#include "serial/rezero.h"
#include "serial/system_library.h"
#include "sim/fake_ftdi_registry.h"
#include "sim/virtual_counter.h"
#include "temp_files.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string FolderOf(HMODULE module) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  std::string file(path, length);
  return Lower(file.substr(0, file.find_last_of('\\')));
}

std::string SystemFolder() {
  char path[MAX_PATH];
  return Lower(std::string(path, GetSystemDirectoryA(path, MAX_PATH)));
}

}  // namespace

class D2xxAdapter : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(library_.Load());
    virtual_counter::Reset();
    ResetSerialModule();
    StartClock();
    _putenv_s(kBitBangSetting, "");
  }
  void TearDown() override {
    ResetSerialModule();
    _putenv_s(kBitBangSetting, "");
  }

  int AdapterOn(int comNumber, double samplesPerBaud = 16) const {
    return library_.AdapterOn(comNumber, samplesPerBaud);
  }
  fake_ftdi::AdapterCounts Counts(int adapter) const { return library_.Counts(adapter); }
  ChipModel Chip(int adapter) const { return library_.Chip(adapter); }
  static std::array<std::uint8_t, ChipModel::kFlashSize> ErasedFlashWith(const std::string& image) {
    std::array<std::uint8_t, ChipModel::kFlashSize> flash{};
    flash.fill(0xFF);
    std::copy(image.begin(), image.end(), flash.begin());
    return flash;
  }

  FakeFtd2xxLibrary library_;
  TextLog log_{"Download ...\r\n"};
};

// Either multiplier is the adapter tests'; through D2XX, one of them.
TEST_F(D2xxAdapter, EraseFlashHexAndFlashBinLandByteForByte) {
  constexpr double kSamplesPerBaud = 4;
  const int adapter = AdapterOn(2, kSamplesPerBaud);
  const std::string blink = ReadWhole(TestImage("blink.bin"));

  ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  EXPECT_EQ(Chip(adapter).EraseCount(), 1);
  ASSERT_EQ(DownloadCommand({.file = FileNamed(TestImage("blink_lf.hex"))}, log_), std::nullopt);
  EXPECT_EQ(Chip(adapter).Flash(), ErasedFlashWith(blink));
  const CommandRequest bin{.file = FileNamed(TestImage("blink.bin")),
                           .format = ImageFormat::Binary};
  ASSERT_EQ(DownloadCommand(bin, log_), std::nullopt);
  const ChipModel chip = Chip(adapter);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith(blink));
  EXPECT_EQ(chip.EraseCount(), 3);
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();

  const fake_ftdi::AdapterCounts counts = Counts(adapter);
  EXPECT_EQ(counts.outputMask, 0x15);
  EXPECT_EQ(counts.samplesCutOff, 0);
  EXPECT_FALSE(counts.open);
  EXPECT_EQ(counts.lastBaudRate, static_cast<int>(kSampleRateHz / kSamplesPerBaud));
}

TEST_F(D2xxAdapter, RateItCannotTrustEndsTheCommandAsALostPort) {
  const int adapter = AdapterOn(2, 8);
  EXPECT_EQ(EraseCommand({.port = "COM2"}), Fault(PortFault{PortFaultKind::LineLost, "COM2"}));
  EXPECT_TRUE(Chip(adapter).Instructions().empty());
  EXPECT_FALSE(Counts(adapter).open);
}

TEST_F(D2xxAdapter, AdapterOnAnotherComPortLeavesThisOneSerialAndUntouched) {
  const int adapter = AdapterOn(7);
  ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  // Not one of FTDI's COM ports: no adapter was opened to look, so the
  // serial port was never given up.
  EXPECT_EQ(Counts(adapter).opens, 0);
}

TEST_F(D2xxAdapter, ComPortThatNoFtdiDeviceAnswersForIsHadBackAsSerial) {
  // The registry still names COM2 for a device that is gone.
  fake_ftdi_registry::RecordComNumber(9, 2);
  const int adapter = AdapterOn(7);
  ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  EXPECT_EQ(Counts(adapter).bitBangEntries, 0);
  EXPECT_EQ(Counts(adapter).opens, Counts(adapter).closes);
}

TEST_F(D2xxAdapter, BitBangTurnedOffLeavesTheAdapterAlone) {
  const int adapter = AdapterOn(2);
  _putenv_s(kBitBangSetting, "off");
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  EXPECT_EQ(ChooseLineDriver("COM2:9600,N,8,1"), LineDriverChoice::SerialPort);
  ClosePort();
  EXPECT_EQ(Counts(adapter).opens, 0);
}

TEST(D2xxLibrary, ComesFromTheSystemDirectory) {
  ASSERT_NE(LoadSystemLibrary("ftd2xx.dll"), nullptr);
  const HMODULE loaded = GetModuleHandleA("ftd2xx.dll");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(FolderOf(loaded), SystemFolder());
}

TEST(D2xxLibrary, DllPlantedBesideTheProgramIsNeverLoaded) {
  // The build puts a copy of the fake beside this program under a name that
  // exists nowhere else: a plain LoadLibrary would find it there.
  EXPECT_EQ(LoadSystemLibrary("flash89_planted.dll"), nullptr);
  const HMODULE naive = LoadLibraryA("flash89_planted.dll");
  ASSERT_NE(naive, nullptr) << "the planted copy is missing: the test proves nothing";
  EXPECT_EQ(FolderOf(naive), FolderOf(nullptr));
  FreeLibrary(naive);
  EXPECT_EQ(LoadSystemLibrary("..\\flash89_planted.dll"), nullptr);
}
