// Bits, instructions and programming sequences as the chip receives them.
#include "isp/isp.h"

#include <gtest/gtest.h>

#include "commands/commands.h"
#include "fake_chip_fixture.h"

using fake_serial::DeviceState;

namespace {

// TXD after each of the eight bits' data phase, true for break.
std::vector<bool> DataStates(const std::vector<LineEvent>& events) {
  std::vector<bool> states;
  for (const LineEvent& event : events) {
    if (event.line == PortLine::Txd) states.push_back(event.on);
  }
  return states;
}

int RtsSwitches(const std::vector<LineEvent>& events, bool on) {
  int count = 0;
  for (const LineEvent& event : events) count += (event.line == PortLine::Rts && event.on == on);
  return count;
}

const std::vector<std::uint8_t> kEraseBytes{0xAC, 0x53, 0x00, 0x00, 0xAC, 0x80, 0x00, 0x00};

}  // namespace

class Isp : public FakeChipTest {
 protected:
  void SetUp() override {
    FakeChipTest::SetUp();
    fake_serial::SetDevice("COM2", DeviceState::Present);
    ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  }
  void TearDown() override {
    ClosePort();
    FakeChipTest::TearDown();
  }
};

TEST_F(Isp, ByteGoesOutMostSignificantBitFirstInvertedOnTxd) {
  SendIspByte(0xAC);  // 1010 1100
  const auto& events = fake_serial::Events("COM2");
  // Released for a 1, break for a 0; break again after the byte.
  EXPECT_EQ(DataStates(events),
            (std::vector<bool>{false, true, false, true, false, false, true, true, true}));
  EXPECT_EQ(RtsSwitches(events, false), 8);
  EXPECT_EQ(RtsSwitches(events, true), 8);
  EXPECT_EQ(events.size(), 8u * 3 + 1);
}

TEST_F(Isp, ZeroByteKeepsTxdInBreakThroughout) {
  SendIspByte(0x00);
  const std::vector<bool> states = DataStates(fake_serial::Events("COM2"));
  EXPECT_EQ(states, std::vector<bool>(9, true));
}

TEST_F(Isp, EachPhaseOfABitLastsAtLeastTenMicroseconds) {
  SendIspByte(0x5A);
  const auto& events = fake_serial::Events("COM2");
  for (std::size_t i = 1; i < events.size(); ++i) {
    EXPECT_GE(events[i].ns - events[i - 1].ns, 10'000) << "switch " << i;
  }
}

TEST_F(Isp, ByteWriteIsOneInstructionFollowedByTheWriteCycle) {
  SetRtsLine(true);
  SetDtrLine(true);
  WaitMs(20);
  SendIspInstruction(kProgrammingEnable);
  WriteFlashByte(0x1234, 0x5A);
  const std::int64_t lastBitNs = fake_serial::Events("COM2").back().ns;
  const double returnedMs = ElapsedMs();
  WriteFlashByte(0x0001, 0xA5);

  const ChipModel chip = ChipOn("COM2");
  ASSERT_EQ(chip.Instructions().size(), 3u);
  EXPECT_EQ(chip.Instructions()[1].bytes, (IspInstruction{0x40, 0x12, 0x34, 0x5A}));
  EXPECT_GE(returnedMs * 1e6 - static_cast<double>(lastBitNs), 5e6);
  EXPECT_EQ(chip.Flash()[0x1234], ChipModel::FactoryPattern(0x1234) & 0x5A);
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
}

TEST_F(Isp, EnterProgrammingErasesAndReentersProgrammingMode) {
  EnterProgramming();
  const ChipModel chip = ChipOn("COM2");
  EXPECT_EQ(DecodedBytes(chip), (std::vector<std::uint8_t>{0xAC, 0x53, 0x00, 0x00, 0xAC, 0x80, 0x00,
                                                           0x00, 0xAC, 0x53, 0x00, 0x00}));
  EXPECT_EQ(chip.EraseCount(), 1);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith({}));
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();

  // The reset between the second and the third instruction.
  const auto& events = fake_serial::Events("COM2");
  int dtrOff = 0;
  for (const LineEvent& event : events) {
    if (event.line != PortLine::Dtr || event.on) continue;
    ++dtrOff;
    EXPECT_GT(event.ns, chip.Instructions()[1].ns);
    EXPECT_LT(event.ns, chip.Instructions()[2].ns);
  }
  EXPECT_EQ(dtrOff, 1);
}

TEST_F(Isp, FinishReleasesAllThreeLines) {
  EnterProgramming();
  FinishProgramming();
  const auto& events = fake_serial::Events("COM2");
  ASSERT_GE(events.size(), 3u);
  const auto last = events.end() - 3;
  EXPECT_EQ(last[0].line, PortLine::Txd);
  EXPECT_EQ(last[1].line, PortLine::Dtr);
  EXPECT_EQ(last[2].line, PortLine::Rts);
  EXPECT_FALSE(last[0].on || last[1].on || last[2].on);
}

TEST_F(Isp, WaitsOfZeroOrLessTakeOneFurtherClockReading) {
  const std::int64_t before = virtual_counter::NowNs();
  WaitMs(0);
  EXPECT_EQ(virtual_counter::NowNs() - before, 2 * virtual_counter::kDefaultStepNs);
  WaitMs(-5);
  EXPECT_EQ(virtual_counter::NowNs() - before, 4 * virtual_counter::kDefaultStepNs);
}

using EraseCommandTest = FakeChipTest;

TEST_F(EraseCommandTest, ErasesTheChipOnTheSelectedPort) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  fake_serial::SetDevice("COM2", DeviceState::Present);
  const double started = ElapsedMs();
  EXPECT_EQ(EraseCommand({.port = "COM1"}), std::nullopt);
  const double tookMs = ElapsedMs() - started;

  const ChipModel chip = ChipOn("COM1");
  EXPECT_EQ(DecodedBytes(chip), kEraseBytes);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith({}));
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_TRUE(fake_serial::Events("COM2").empty());
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
  EXPECT_GE(tookMs, 420.0);  // its own waits

  // Reset released, clock on and data in break when the port closes.
  const auto& events = fake_serial::Events("COM1");
  EXPECT_EQ(events.back().line, PortLine::Dtr);
  EXPECT_FALSE(events.back().on);
}

TEST_F(EraseCommandTest, AbsentPortIsReportedAndNothingIsSwitched) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  const double started = ElapsedMs();
  EXPECT_EQ(EraseCommand({.port = "COM2"}), Fault(PortFault{PortFaultKind::NotReady, "COM2"}));
  EXPECT_LT(ElapsedMs() - started, 1.0);  // no waits
  EXPECT_EQ(fake_serial::Counts("COM2").switches, 0);
  EXPECT_EQ(fake_serial::Counts("COM1").switches, 0);
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

TEST_F(EraseCommandTest, LineLostMidwayStopsWithTheInterruptionAndClosesThePort) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  // Unplugged while the chip is held in reset, before its first instruction.
  struct Unplug : WaitIdleWork {
    void DuringWait() override {
      if (LinesAfter(fake_serial::Events("COM1")).dtr)
        fake_serial::SetDevice("COM1", DeviceState::Present, 0);
    }
  } unplug;
  {
    const ScopedWaitIdleWork during(unplug);
    EXPECT_EQ(EraseCommand({.port = "COM1"}), Fault(PortFault{PortFaultKind::LineLost, "COM1"}));
  }
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
  const ChipModel chip = ChipOn("COM1");
  EXPECT_EQ(chip.EraseCount(), 0);
  // Stopped at the first instruction boundary: a second instruction's 32
  // clock pulses, two switches each, were never tried.
  EXPECT_GT(fake_serial::Counts("COM1").failedSwitches, 0);
  EXPECT_LT(fake_serial::Counts("COM1").failedSwitches, 2 * 32 * 2);
}

TEST_F(EraseCommandTest, CancelAfterTheEraseInstructionLetsItFinish) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  CancelWhenChip afterErase("COM1", [](const ChipModel& chip) { return chip.EraseCount() == 1; });
  {
    const ScopedWaitIdleWork during(afterErase);
    EXPECT_EQ(EraseCommand({.port = "COM1"}), std::nullopt);
  }
  EXPECT_EQ(ChipOn("COM1").EraseCount(), 1);
}

TEST_F(EraseCommandTest, CancelBeforeTheEraseInstructionStopsWithTheLinesReleased) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  // In the wait after programming enable.
  CancelWhenChip beforeErase("COM1",
                             [](const ChipModel& chip) { return !chip.Instructions().empty(); });
  {
    const ScopedWaitIdleWork during(beforeErase);
    EXPECT_EQ(EraseCommand({.port = "COM1"}), Fault(PortFault{PortFaultKind::Cancelled, "COM1"}));
  }
  const ChipModel chip = ChipOn("COM1");
  EXPECT_EQ(chip.EraseCount(), 0);
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_TRUE(LinesAfter(fake_serial::Events("COM1")).AllReleased());
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

namespace {
// Takes 2 ms of virtual time, as a repaint of the window might.
struct TwoMillisecondsOfWork : WaitIdleWork {
  void DuringWait() override {
    ++runs;
    const double until = ElapsedMs() + 2;
    while (ElapsedMs() < until) {
    }
  }
  int runs = 0;
};
}  // namespace

TEST_F(Isp, WorkInsideALongWaitDoesNotLengthenIt) {
  TwoMillisecondsOfWork work;
  double waited = 0;
  {
    const ScopedWaitIdleWork during(work);
    const double start = ElapsedMs();
    WaitMs(5);
    waited = ElapsedMs() - start;
    SendIspByte(0x12);  // its waits are too short for any work
  }
  WaitMs(5);  // the work's scope has ended
  EXPECT_EQ(work.runs, 1);
  EXPECT_GE(waited, 5.0);
  EXPECT_LT(waited, 5.01);
}

TEST_F(Isp, WaitsBeforeTheClockIsStartedAreNeverShort) {
  ResetSerialModule();  // the clock's values of a program that has just started
  const std::int64_t before = virtual_counter::NowNs();
  WaitMs(5);
  EXPECT_GE(virtual_counter::NowNs() - before, 5'000'000);
  WaitMs(0.01);
  const std::int64_t shortWait = virtual_counter::NowNs();
  WaitMs(0.01);
  EXPECT_GE(virtual_counter::NowNs() - shortWait, 10'000);
}

TEST_F(Isp, WaitsOnACoarseCounterAreNeverShortWhereverInItsTickTheyStart) {
  // A 10 MHz counter, as Windows' performance counter often is: a wait that
  // starts late in a tick must still last all of its time.
  for (std::int64_t offsetNs = 0; offsetNs < 100; offsetNs += 7) {
    virtual_counter::Reset(1, 100);
    StartClock();
    virtual_counter::AdvanceTo(1000 + offsetNs);
    const std::int64_t before = virtual_counter::NowNs();
    WaitMs(0.01);
    EXPECT_GE(virtual_counter::NowNs() - before, 10'000) << "starting " << offsetNs << " ns in";
  }
}
