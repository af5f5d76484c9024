// FTDI adapters in bit-bang mode behind a COM port: the commands land byte
// for byte, every phase is at least as long as its wait under either baud
// multiplier, and an adapter whose rate cannot be trusted, or that goes
// away, ends the command as a lost port.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "commands/commands.h"
#include "commands/port_probe.h"
#include "commands/text_log.h"
#include "fake_ftdi_fixture.h"
#include "isp/isp.h"
#include "temp_files.h"

namespace {

// The line changes of a waveform, without their times and without switches
// that left a line as it was.
std::vector<std::pair<PortLine, bool>> Changes(const std::vector<LineEvent>& events) {
  std::vector<std::pair<PortLine, bool>> changes;
  bool state[3] = {false, false, false};
  for (const LineEvent& event : events) {
    bool& line = state[static_cast<int>(event.line)];
    if (line == event.on) continue;
    line = event.on;
    changes.emplace_back(event.line, event.on);
  }
  return changes;
}

}  // namespace

class FtdiCommands : public FakeFtdiTest, public testing::WithParamInterface<double> {
 protected:
  // On COM2, the requests' own port.
  std::optional<Fault> FlashHex(const std::string& path) {
    return DownloadCommand({.file = FileNamed(path)}, log_);
  }
  std::optional<Fault> FlashBin(const std::string& path, WriteMode mode = WriteMode::Bytes) {
    return DownloadCommand({.file = FileNamed(path), .format = ImageFormat::Binary, .mode = mode},
                           log_);
  }

  TempFolder folder_;
  TextLog log_{"Download ...\r\nCOM2 geöffnet\r\n"};
};

TEST_P(FtdiCommands, EraseFlashHexAndFlashBinLandWithoutATimingFault) {
  const int adapter = AdapterOnCom2(WithMultiplier(GetParam()));
  const std::string binary = ReadWhole(TestImage("blink.bin"));
  const std::vector<std::uint8_t> blink(binary.begin(), binary.end());

  ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  EXPECT_EQ(ChipOnAdapter(adapter).EraseCount(), 1);

  ASSERT_EQ(FlashHex(TestImage("blink_lf.hex")), std::nullopt);
  EXPECT_EQ(ChipOnAdapter(adapter).Flash(), ErasedFlashWith(blink));

  const std::vector<std::uint8_t> other{0x12, 0x34, 0x00, 0xFF, 0xA5};
  ASSERT_EQ(FlashBin(folder_.Write("other.bin", std::string(other.begin(), other.end()))),
            std::nullopt);
  const ChipModel chip = ChipOnAdapter(adapter);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith(other));
  EXPECT_EQ(chip.EraseCount(), 3);
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();

  const fake_ftdi::AdapterCounts& counts = fake_ftdi::Counts(adapter);
  EXPECT_EQ(counts.samplesCutOff, 0);
  EXPECT_EQ(counts.refusedSubmissions, 0);
  EXPECT_EQ(counts.lastBaudRate, static_cast<int>(kSampleRateHz / GetParam()));
  // Nothing reached the serial lines themselves.
  EXPECT_TRUE(fake_serial::Events("COM2").empty());
}

TEST_P(FtdiCommands, TheAdapterDrawsTheSerialPortsWaveform) {
  const int adapter = AdapterOnCom2(WithMultiplier(GetParam()));
  const std::string hex = TestImage("blink_lf.hex");
  setenv(kBitBangSetting, "off", 1);
  ASSERT_EQ(FlashHex(hex), std::nullopt);
  unsetenv(kBitBangSetting);
  ASSERT_EQ(FlashHex(hex), std::nullopt);
  // The serial port's waveform ends with the adapter's whole waveform;
  // before it come only the timed switches of its line check, which an
  // adapter, stating its cost, needs none of.
  const auto serial = Changes(fake_serial::Events("COM2"));
  const auto drawn = Changes(fake_ftdi::Events(adapter));
  ASSERT_GT(serial.size(), drawn.size());
  EXPECT_TRUE(std::equal(drawn.rbegin(), drawn.rend(), serial.rbegin()));
  EXPECT_TRUE(std::none_of(serial.begin(), serial.end() - static_cast<std::ptrdiff_t>(drawn.size()),
                           [](const auto& change) { return change.first == PortLine::Dtr; }));
  EXPECT_EQ(DecodedBytes(ChipOnAdapter(adapter)), DecodedBytes(ChipOn("COM2")));
}

TEST_P(FtdiCommands, PagesOfAWholeChipLandWithoutATimingFault) {
  const int adapter = AdapterOnCom2(WithMultiplier(GetParam()));
  std::vector<std::uint8_t> full(ChipModel::kFlashSize);
  for (std::size_t at = 0; at < full.size(); ++at)
    full[at] = static_cast<std::uint8_t>(at * 7 + (at >> 8));
  const std::string path = folder_.Write("full.bin", std::string(full.begin(), full.end()));
  ASSERT_EQ(FlashBin(path, WriteMode::Pages), std::nullopt);
  const ChipModel chip = ChipOnAdapter(adapter);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith(full));
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_EQ(fake_ftdi::Counts(adapter).samplesCutOff, 0);
}

TEST_P(FtdiCommands, TheExactRateMeasurementRunsDuringTheFirstWaits) {
  const int adapter = AdapterOnCom2(WithMultiplier(GetParam()));
  const std::int64_t start = virtual_counter::NowNs();
  ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  // The exact measurement alone lasts 150 ms: only the rough look at the
  // rate comes before the first switch.
  ASSERT_FALSE(fake_ftdi::Events(adapter).empty());
  EXPECT_LT(fake_ftdi::Events(adapter).front().ns - start, 150'000'000);
}

INSTANTIATE_TEST_SUITE_P(SamplesPerBaud, FtdiCommands, testing::Values(4.0, 16.0),
                         [](const auto& info) {
                           return "Times" + std::to_string(int(info.param));
                         });

using FtdiFaults = FtdiCommands;

struct UntrustedRate {
  const char* name;
  double samplesPerBaud, clockError;
};

class FtdiUntrustedRate : public FakeFtdiTest, public testing::WithParamInterface<UntrustedRate> {};

TEST_P(FtdiUntrustedRate, EndsTheCommandWithTheLinesReleased) {
  const int adapter =
      AdapterOnCom2(WithMultiplier(GetParam().samplesPerBaud, GetParam().clockError));
  EXPECT_EQ(EraseCommand({.port = "COM2"}), Fault(PortFault{PortFaultKind::LineLost, "COM2"}));
  EXPECT_TRUE(ChipOnAdapter(adapter).Instructions().empty());
  // Every sample it was sent held the lines released.
  EXPECT_TRUE(fake_ftdi::Events(adapter).empty());
  const fake_ftdi::AdapterCounts& counts = fake_ftdi::Counts(adapter);
  EXPECT_FALSE(counts.open);
  EXPECT_TRUE(counts.kernelDriverAttached);
  EXPECT_TRUE(fake_serial::Events("COM2").empty());
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

// A multiplier that is neither 4 nor 16, and a clock far too fast or slow.
INSTANTIATE_TEST_SUITE_P(Rates, FtdiUntrustedRate,
                         testing::Values(UntrustedRate{"Times8", 8, 1.0},
                                         UntrustedRate{"Times1", 1, 1.0},
                                         UntrustedRate{"Times64", 64, 1.0},
                                         UntrustedRate{"Times16ClockFast", 16, 1.08},
                                         UntrustedRate{"Times4ClockSlow", 4, 0.7}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtdiFaults, HostLaterThanAllItQueuedAtEveryLookLosesThePortBeforeAnyLineMoves) {
  const int adapter = AdapterOnCom2(WithMultiplier(16));
  virtual_counter::LateAtReading(1, 300'000'000, true);
  EXPECT_EQ(EraseCommand({.port = "COM2"}), Fault(PortFault{PortFaultKind::LineLost, "COM2"}));
  EXPECT_TRUE(fake_ftdi::Events(adapter).empty());
  EXPECT_FALSE(fake_ftdi::Counts(adapter).open);
}

TEST_F(FtdiFaults, UnpluggedAdapterEndsTheDownloadAsALostPort) {
  fake_ftdi::AdapterTraits traits = WithMultiplier(16);
  // Past the rate measurement and into the writes.
  traits.failAfterSamples = 400'000;
  const int adapter = AdapterOnCom2(traits);
  EXPECT_EQ(FlashHex(TestImage("big_1k.hex")), Fault(PortFault{PortFaultKind::LineLost, "COM2"}));
  const ChipModel chip = ChipOnAdapter(adapter);
  EXPECT_GT(chip.Instructions().size(), 3u);
  EXPECT_LT(chip.Instructions().size(), 1024u);
  EXPECT_FALSE(fake_ftdi::Counts(adapter).open);
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

TEST_F(FtdiFaults, FailedSubmissionIsALostPortAtOnce) {
  fake_ftdi::AdapterTraits traits = WithMultiplier(4);
  traits.failAfterSamples = 0;
  const int adapter = AdapterOnCom2(traits);
  EXPECT_EQ(EraseCommand({.port = "COM2"}), Fault(PortFault{PortFaultKind::LineLost, "COM2"}));
  EXPECT_TRUE(fake_ftdi::Events(adapter).empty());
}

class FtdiPorts : public FakeFtdiTest {
 protected:
  TextLog log_{"Download ...\r\nCOM2 geöffnet\r\n"};
};

TEST_F(FtdiPorts, TryingAPortLeavesTheAdapterWithItsDriver) {
  const int adapter = AdapterOnCom2();
  EXPECT_TRUE(PortOpens("COM2"));
  EXPECT_TRUE(OpenPortToProbe("COM2"));
  ClosePort();
  EXPECT_EQ(fake_ftdi::Counts(adapter).opens, 0);
  EXPECT_EQ(fake_ftdi::Counts(adapter).detachments, 0);
}

TEST_F(FtdiPorts, DriverIsDetachedOnlyWhileACommandRuns) {
  const int adapter = AdapterOnCom2();
  struct WatchDriver : WaitIdleWork {
    void DuringWait() override { attachedDuring |= fake_ftdi::Counts(index).kernelDriverAttached; }
    int index = 0;
    bool attachedDuring = false;
  } watch;
  watch.index = adapter;
  {
    const ScopedWaitIdleWork during(watch);
    ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  }
  ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  const fake_ftdi::AdapterCounts& counts = fake_ftdi::Counts(adapter);
  EXPECT_FALSE(watch.attachedDuring);
  EXPECT_TRUE(counts.kernelDriverAttached);
  EXPECT_EQ(counts.detachments, 2);
  EXPECT_EQ(counts.opens, counts.closes);
}

TEST_F(FtdiPorts, OnlyTheThreeLinePinsAreOutputs) {
  const int adapter = AdapterOnCom2();
  ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  EXPECT_EQ(fake_ftdi::Counts(adapter).outputMask, 0x15);
}

TEST_F(FtdiPorts, LongWaitsAreWithTheAdapterBeforeTheIdleWorkRuns) {
  AdapterOnCom2();
  struct Repaint : WaitIdleWork {
    void DuringWait() override {
      const auto aheadNs = fake_ftdi::Counts(0).busyUntilNs - virtual_counter::NowNs();
      shortest = std::min(shortest, aheadNs);
      ++runs;
    }
    std::int64_t shortest = INT64_MAX;
    int runs = 0;
  } repaint;
  const ScopedWaitIdleWork during(repaint);
  const CommandRequest bin{.file = FileNamed(TestImage("blink.bin")),
                           .format = ImageFormat::Binary};
  ASSERT_EQ(DownloadCommand(bin, log_), std::nullopt);
  ASSERT_GT(repaint.runs, 0);
  // Every long wait is at least 5 ms, and all of it is queued.
  EXPECT_GE(repaint.shortest, 4'900'000);
}

struct NoBitBang {
  const char* name;
  const char* setting;
  const char* driver;
  bool refuseOpen;
};

class FtdiWithoutBitBang : public FtdiPorts, public testing::WithParamInterface<NoBitBang> {};

TEST_P(FtdiWithoutBitBang, SerialPathServes) {
  const NoBitBang& c = GetParam();
  if (c.setting != nullptr) setenv(kBitBangSetting, c.setting, 1);
  fake_ftdi::AdapterTraits traits;
  traits.refuseOpen = c.refuseOpen;
  const int adapter = AdapterOnCom2(traits, c.driver);
  ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  EXPECT_EQ(ChipOn("COM2").EraseCount(), 1);
  EXPECT_TRUE(fake_ftdi::Events(adapter).empty());
  EXPECT_FALSE(fake_ftdi::Counts(adapter).open);
  EXPECT_TRUE(fake_ftdi::Counts(adapter).kernelDriverAttached);
}

INSTANTIATE_TEST_SUITE_P(FtdiPorts, FtdiWithoutBitBang,
                         testing::Values(NoBitBang{"TurnedOff", "off", "ftdi_sio", false},
                                         NoBitBang{"TurnedOffInCapitals", "OFF", "ftdi_sio", false},
                                         NoBitBang{"AnotherChipsDriver", nullptr, "pl2303", false},
                                         NoBitBang{"NoPermissionToOpenIt", nullptr, "ftdi_sio",
                                                   true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtdiPorts, TtyThatIsNotOnUsbStaysSerial) {
  fake_sysfs::AddPlainTty(TtyOf("COM2"));
  ASSERT_EQ(EraseCommand({.port = "COM2"}), std::nullopt);
  EXPECT_EQ(ChipOn("COM2").EraseCount(), 1);
}

TEST_F(FtdiPorts, PortNamedByItsPathOrALinkFindsItsAdapter) {
  const TempFolder dev;
  const std::string tty = dev.Write("ttyUSB7", ""), plain = dev.Write("ttyS4", "");
  const std::string link = dev.Path("usb-FTDI_A5-if00-port0");
  std::filesystem::create_symlink(tty, link);
  const fake_ftdi::AdapterTraits traits;
  fake_sysfs::AddUsbSerial("ttyUSB7", traits.bus, traits.address, 0, "ftdi_sio");
  fake_ftdi::AddAdapter(traits);
  fake_sysfs::AddPlainTty("ttyS4");
  for (const std::string& name : {tty, link}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ChooseLineDriver(ModeStringForPort(name)), LineDriverChoice::Adapter);
    ClosePort();
  }
  EXPECT_EQ(ChooseLineDriver(ModeStringForPort(plain)), LineDriverChoice::SerialPort);
}

TEST(FakeFtdiIsolation, NoUsbLibraryIsInTheTestProcess) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    EXPECT_EQ(line.find("libusb"), std::string::npos) << line;
    EXPECT_EQ(line.find("libftdi"), std::string::npos) << line;
  }
}
