// The bit phase found from the chip's echo, in virtual time on the
// in-process fake device, for a chip at 3, 11.0592 and 24 MHz.
#include "isp/clock_search.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_chip_fixture.h"
#include "isp/bit_clock.h"

class ClockSearch : public FakeChipTest, public testing::WithParamInterface<double> {
 protected:
  void SetUp() override {
    FakeChipTest::SetUp();
    // A PC reads its clock in some 30 ns; the default microsecond would
    // lengthen every short phase.
    virtual_counter::Reset(30);
    fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
    fake_serial::SetLineBehaviour("COM2", {.cable = Cable::MisoOnCts, .chip = Options()});
    ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  }
  void TearDown() override {
    ClosePort();
    FakeChipTest::TearDown();
  }

  std::string Options() const { return "xtal=" + std::to_string(GetParam()); }
  // Eight crystal periods: the shortest SCK high or low the chip follows.
  double LimitMs() const { return 8 / (GetParam() * 1e3); }

  BitPhaseFound Search(double floorMs, bool exactPhases) {
    const std::optional<MisoPolarity> polarity = EnableProgrammingAnswered();
    const SignatureRead read = ReadSignature();
    EXPECT_TRUE(polarity && read.polarity == polarity);
    return FindBitPhase(polarity.value_or(MisoPolarity::OnIsHigh), read.bytes, floorMs,
                        exactPhases);
  }
};

TEST_P(ClockSearch, TakesTwiceTheShortestPhaseTheChipFollowedAndCarriesOutNothingGarbled) {
  const BitPhaseFound found = Search(0.0002, false);
  // The tries came close to the chip's limit, and the phase keeps a margin.
  EXPECT_LT(found.followedMs, 1.5 * LimitMs());
  EXPECT_GE(found.phaseMs, LimitMs());
  EXPECT_EQ(BitPhaseMs(), kBitPhaseMs);
  FinishProgramming();
  const ChipModel chip = ChipOn("COM2", Options());
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_EQ(chip.CutOff(), 1) << "the try that came back wrong";
}

TEST_P(ClockSearch, AFloorTheChipFollowsIsTakenAsItIsOnlyWherePhasesAreExact) {
  constexpr double kFloorMs = 0.003;  // above every crystal's limit here
  EXPECT_DOUBLE_EQ(Search(kFloorMs, true).phaseMs, kFloorMs);
  // Timed by the host: twice the floor and what its switches added.
  const double hostTimed = Search(kFloorMs, false).phaseMs;
  EXPECT_GE(hostTimed, 2 * kFloorMs);
  EXPECT_LT(hostTimed, 2.2 * kFloorMs);
}

TEST_P(ClockSearch, SwitchesSlowDuringTheSearchLeaveTheChipItsLimitOnceTheyAreQuick) {
  // A busy host: each switch takes as long as the chip's shortest phase, so
  // the chip follows even the floor's waits.
  const auto limitNs = static_cast<std::int64_t>(LimitMs() * 1e6);
  fake_serial::SetLineBehaviour(
      "COM2", {.switchCostNs = limitNs, .cable = Cable::MisoOnCts, .chip = Options()});
  const BitPhaseFound found = Search(0.0002, false);
  fake_serial::SetLineBehaviour("COM2", {.cable = Cable::MisoOnCts, .chip = Options()});
  const SignatureRead atWindow = ReadSignature();
  SetBitPhaseMs(found.phaseMs);
  EXPECT_EQ(ReadSignature().bytes, atWindow.bytes) << found.phaseMs * 1e6 << " ns a phase";
  SetBitPhaseMs(kBitPhaseMs);
  FinishProgramming();
  const ChipModel chip = ChipOn("COM2", Options());
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
}

INSTANTIATE_TEST_SUITE_P(Crystals, ClockSearch, testing::Values(3.0, 11.0592, 24.0));
