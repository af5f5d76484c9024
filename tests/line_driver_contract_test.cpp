// What every line driver promises the programming code above it, checked
// once per driver: the serial port on the fake device, the FTDI adapter on
// the fake adapter (under either baud multiplier and an inexact crystal),
// and the counting driver of dry runs.
#include <gtest/gtest.h>

#include "fake_ftdi_fixture.h"
#include "serial/counting_lines.h"

namespace {

enum class Driver { SerialPort, Adapter, Counting };

struct DriverCase {
  const char* name;
  Driver driver;
  double samplesPerBaud = 16;
  double clockError = 1.0;
  int bufferSamples = 256;
};

struct Step {
  PortLine line;
  bool on;  // DTR or RTS set, TXD in break
  double waitMs;
};

// Every switch changes its line, so that each shows on a driver that
// records only changes. The long wait outlasts what is left of the
// adapter's rate measurement, which the first waits carry.
constexpr Step kScript[] = {
    {PortLine::Rts, true, 0.01},  {PortLine::Dtr, true, 0.02},  {PortLine::Txd, true, 0.01},
    {PortLine::Rts, false, 0.01}, {PortLine::Rts, true, 5},     {PortLine::Txd, false, 0.013},
    {PortLine::Dtr, false, 0.5},  {PortLine::Dtr, true, 200},   {PortLine::Rts, false, 0.0101},
    {PortLine::Rts, true, 0.01},  {PortLine::Txd, true, 10.37}, {PortLine::Txd, false, 0},
    {PortLine::Dtr, false, 0},    {PortLine::Rts, false, 0.01},
};

void Play(const Step& step) {
  constexpr void (*kSwitch[])(bool) = {SetDtrLine, SetRtsLine, SetTxdLine};
  kSwitch[static_cast<int>(step.line)](step.on);
  WaitMs(step.waitMs);
}

constexpr const char* kMode = "COM2:9600,N,8,1";

}  // namespace

class LineDriverContract : public FakeFtdiTest, public testing::WithParamInterface<DriverCase> {
 protected:
  void SetUp() override {
    FakeFtdiTest::SetUp();
    if (GetParam().driver != Driver::Adapter) return;
    fake_ftdi::AdapterTraits traits =
        WithMultiplier(GetParam().samplesPerBaud, GetParam().clockError);
    traits.bufferSamples = GetParam().bufferSamples;
    traits.failAfterSamples = failAfterSamples_;
    traits.cable = cable_;
    adapter_ = AdapterOnCom2(traits);
  }

  // The driver under test takes the lines of COM2; the counting driver
  // takes them for the scope of the test.
  void Take() {
    if (GetParam().driver == Driver::Counting) {
      counting_.emplace(counter_);
      return;
    }
    ASSERT_TRUE(OpenPort(kMode));
    const LineDriverChoice expected = GetParam().driver == Driver::Adapter
                                          ? LineDriverChoice::Adapter
                                          : LineDriverChoice::SerialPort;
    ASSERT_EQ(ChooseLineDriver(kMode), expected);
  }

  const std::vector<LineEvent>& Events() const {
    return adapter_ >= 0 ? fake_ftdi::Events(adapter_) : fake_serial::Events("COM2");
  }

  // The script's switches reached their lines in order, each phase at
  // least as long as its wait.
  void ExpectScriptDrawn() const {
    const std::vector<LineEvent>& events = Events();
    ASSERT_EQ(events.size(), std::size(kScript));
    for (std::size_t i = 0; i < std::size(kScript); ++i) {
      EXPECT_EQ(events[i].line, kScript[i].line) << "switch " << i;
      EXPECT_EQ(events[i].on, kScript[i].on) << "switch " << i;
      if (i + 1 == std::size(kScript)) break;
      const auto phaseNs = events[i + 1].ns - events[i].ns;
      EXPECT_GE(static_cast<double>(phaseNs), kScript[i].waitMs * 1e6) << "phase " << i;
      // Switches without a wait between them still come one after the other.
      EXPECT_GT(phaseNs, 0) << "phase " << i;
    }
    if (adapter_ >= 0) {
      EXPECT_EQ(fake_ftdi::Counts(adapter_).samplesCutOff, 0);
    }
  }

  CountingLineDriver counter_;
  std::optional<ScopedLineDriver> counting_;
  int adapter_ = -1;
  long failAfterSamples_ = -1;
  Cable cable_ = Cable::NoLineBack;
};

TEST_P(LineDriverContract, EverySwitchReachesItsLineInOrderAndEveryWaitLastsItsTime) {
  Take();
  for (const Step& step : kScript) Play(step);
  EXPECT_FALSE(LineLostSinceOpen());
  if (GetParam().driver == Driver::Counting) {
    double waits = 0;
    for (const Step& step : kScript) waits += step.waitMs;
    EXPECT_EQ(counter_.Work().modemSwitches, 10);
    EXPECT_EQ(counter_.Work().breakSwitches, 4);
    EXPECT_DOUBLE_EQ(counter_.Work().waitMs, waits);
    return;
  }
  ClosePort();
  ExpectScriptDrawn();
  // Nothing was read, so the adapter never read its pins.
  if (adapter_ >= 0) {
    EXPECT_EQ(fake_ftdi::Counts(adapter_).readings, 0);
  }
}

TEST_P(LineDriverContract, StatesItsSwitchCostOnlyWhereItNeedsNoTiming) {
  Take();
  const std::optional<LineCost> cost = ActiveLineDriver().KnownCost();
  if (GetParam().driver != Driver::Adapter) {
    EXPECT_FALSE(cost.has_value());
    return;
  }
  // One sample at a rate that is never below the one asked, and close to it.
  ASSERT_TRUE(cost.has_value());
  EXPECT_LE(cost->modemSwitchMs, 1000 / kSampleRateHz);
  EXPECT_GE(cost->modemSwitchMs, 1000 / (kSampleRateHz * 1.07));
  EXPECT_EQ(cost->breakSwitchMs, cost->modemSwitchMs);
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, LineDriverContract,
    testing::Values(DriverCase{"SerialPort", Driver::SerialPort},
                    DriverCase{"AdapterTimes4", Driver::Adapter, 4},
                    DriverCase{"AdapterTimes16", Driver::Adapter, 16},
                    DriverCase{"AdapterSlowCrystal", Driver::Adapter, 16, 0.95},
                    DriverCase{"AdapterFastCrystal", Driver::Adapter, 4, 1.04},
                    // An FT2232H's buffer, under either multiplier.
                    DriverCase{"AdapterTimes4LargeBuffer", Driver::Adapter, 4, 1.0, 4096},
                    DriverCase{"AdapterTimes16LargeBuffer", Driver::Adapter, 16, 1.0, 4096},
                    DriverCase{"Counting", Driver::Counting}),
    [](const auto& info) { return std::string(info.param.name); });

// The host was busy elsewhere just as it looked at its clock: at each of
// the looks that taking the adapter and the script make, in turn, for a
// moment shorter and one longer than the adapter's buffer lasts; and, as a
// busy PC is, at every look from the first.
using LateHost = LineDriverContract;

TEST_P(LateHost, ALateLookAtTheClockShortensNoWaitAndKeepsTheAdapter) {
  Take();
  for (const Step& step : kScript) Play(step);
  const std::int64_t looks = virtual_counter::Readings();
  ClosePort();
  for (std::int64_t look = 0; look <= looks; ++look) {
    for (const std::int64_t lateNs : {2'000'000, 30'000'000}) {
      SCOPED_TRACE("late by " + std::to_string(lateNs / 1'000'000) + " ms at look " +
                   (look > 0 ? std::to_string(look) : "every") + " of " + std::to_string(looks));
      SetUp();
      virtual_counter::LateAtReading(std::max<std::int64_t>(look, 1), lateNs, look == 0);
      ASSERT_NO_FATAL_FAILURE(Take());
      for (const Step& step : kScript) Play(step);
      EXPECT_FALSE(LineLostSinceOpen());
      ClosePort();
      ASSERT_NO_FATAL_FAILURE(ExpectScriptDrawn());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, LateHost,
    testing::Values(DriverCase{"Times4", Driver::Adapter, 4},
                    DriverCase{"Times16", Driver::Adapter, 16},
                    DriverCase{"SlowCrystal", Driver::Adapter, 16, 0.95},
                    DriverCase{"FastCrystal", Driver::Adapter, 4, 1.04},
                    DriverCase{"Times4LargeBuffer", Driver::Adapter, 4, 1.0, 4096},
                    DriverCase{"Times16LargeBuffer", Driver::Adapter, 16, 1.0, 4096}),
    [](const auto& info) { return std::string(info.param.name); });

// A cable that loops RTS back to CTS: each reading must show RTS as the
// lines stand when it is taken, a switch that no wait follows included.
class DataLine : public LineDriverContract {
 protected:
  void SetUp() override {
    cable_ = Cable::RtsLoopedBack;
    LineDriverContract::SetUp();
    fake_serial::SetLineBehaviour("COM2", {.cable = Cable::RtsLoopedBack});
  }
};

TEST_P(DataLine, ReadingsShowTheLineAsItStandsWhenTakenInOrder) {
  Take();
  constexpr bool kRtsBefore[] = {true, false, true, false, true};
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < std::size(kRtsBefore); ++i) {
      SetRtsLine(kRtsBefore[i]);
      if (i % 2 == 0) WaitMs(0.01);
      ASSERT_TRUE(ReadMisoLine());
    }
    std::array<bool, std::size(kRtsBefore)> levels{};
    ASSERT_TRUE(CollectMisoLevels(levels));
    for (std::size_t i = 0; i < levels.size(); ++i) {
      // A dry run reads every line as off.
      EXPECT_EQ(levels[i], GetParam().driver != Driver::Counting && kRtsBefore[i]) << i;
    }
  }
  std::array<bool, 1> tooMany{};
  EXPECT_FALSE(CollectMisoLevels(tooMany));
}

INSTANTIATE_TEST_SUITE_P(Drivers, DataLine,
                         testing::Values(DriverCase{"SerialPort", Driver::SerialPort},
                                         DriverCase{"AdapterTimes4", Driver::Adapter, 4},
                                         DriverCase{"AdapterTimes16", Driver::Adapter, 16},
                                         DriverCase{"Counting", Driver::Counting}),
                         [](const auto& info) { return std::string(info.param.name); });

// A port that goes away midway is reported by the drivers that have one.
class LineLostContract : public LineDriverContract {
 protected:
  void SetUp() override {
    // Past the adapter's rate measurement and into the script.
    failAfterSamples_ = 100'000;
    LineDriverContract::SetUp();
    fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present, 3);
  }
};

TEST_P(LineLostContract, ALineThatGoesAwayIsReported) {
  Take();
  for (int round = 0; round < 3; ++round) {
    for (const Step& step : kScript) Play(step);
  }
  EXPECT_TRUE(LineLostSinceOpen());
  ClosePort();
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
  if (adapter_ >= 0) {
    EXPECT_FALSE(fake_ftdi::Counts(adapter_).open);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, LineLostContract,
                         testing::Values(DriverCase{"SerialPort", Driver::SerialPort},
                                         DriverCase{"AdapterTimes4", Driver::Adapter, 4},
                                         DriverCase{"AdapterTimes16", Driver::Adapter, 16}),
                         [](const auto& info) { return std::string(info.param.name); });
