// The check at open: a port that cannot hold TXD in break is refused before
// the chip is reset, one that only switches slowly still works.
#include "commands/line_check.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "commands/commands.h"
#include "commands/text_log.h"
#include "fake_chip_fixture.h"
#include "temp_files.h"

using fake_serial::DeviceState;
using fake_serial::LineBehaviour;

namespace {

constexpr std::int64_t kMs = 1'000'000;

// One of the window's three commands on COM2, the file dialog answered
// with a good image.
struct WindowCommand {
  const char* name;
  bool erase;
  ImageFormat format;
  const char* image;
};

PortFault PortFaultOf(const std::optional<Fault>& fault) {
  if (!fault || !std::holds_alternative<PortFault>(*fault)) return {PortFaultKind::NotReady, ""};
  return std::get<PortFault>(*fault);
}

}  // namespace

class LineCheckTest : public FakeChipTest {
 protected:
  void SetUp() override {
    FakeChipTest::SetUp();
    fake_serial::SetDevice("COM2", DeviceState::Present);
  }

  static LineCheck CheckCom2() {
    EXPECT_TRUE(OpenPort("COM2:9600,N,8,1"));
    const LineCheck check = CheckLine();
    ClosePort();
    return check;
  }
};

class EveryCommand : public LineCheckTest, public testing::WithParamInterface<WindowCommand> {
 protected:
  // asked: whether the dialog was shown.
  static std::optional<Fault> Run(bool& asked) {
    const WindowCommand& command = GetParam();
    const auto dialog = [&] {
      asked = true;
      return TestImage(command.image);
    };
    const CommandRequest request{.file = dialog, .format = command.format};
    if (command.erase) return EraseCommand(request);
    TextLog log;
    return DownloadCommand(request, log);
  }
};

TEST_P(EveryCommand, RefusesAFakedBreakBeforeAnyReset) {
  fake_serial::SetLineBehaviour("COM2", LineBehaviour{.fakedBreak = true, .driver = "ch341"});
  bool asked = false;
  const PortFault fault = PortFaultOf(Run(asked));
  EXPECT_EQ(fault.kind, PortFaultKind::BreakFaked);
  EXPECT_EQ(fault.portName, "COM2");
  EXPECT_EQ(fault.driver, "ch341");
  EXPECT_FALSE(asked);  // said before the file dialog
  EXPECT_FALSE(ChipWasReset("COM2"));
  EXPECT_TRUE(ChipOn("COM2").Instructions().empty());
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    LineCheck, EveryCommand,
    testing::Values(WindowCommand{"Erase", true, ImageFormat::IntelHex, "blink_lf.hex"},
                    WindowCommand{"FlashHex", false, ImageFormat::IntelHex, "blink_lf.hex"},
                    WindowCommand{"FlashBin", false, ImageFormat::Binary, "blink.bin"}),
    [](const auto& info) { return std::string(info.param.name); });

class EitherBreak : public LineCheckTest, public testing::WithParamInterface<bool> {};

TEST_P(EitherBreak, CheckTouchesNeitherResetNorTheStatesTheOpenLeft) {
  fake_serial::SetLineBehaviour("COM2", LineBehaviour{.fakedBreak = GetParam()});
  CheckCom2();
  const auto& events = fake_serial::Events("COM2");
  ASSERT_FALSE(events.empty());
  bool rts = false, txd = false;
  for (const LineEvent& event : events) {
    EXPECT_NE(event.line, PortLine::Dtr);
    (event.line == PortLine::Rts ? rts : txd) = event.on;
  }
  EXPECT_FALSE(rts);
  EXPECT_FALSE(txd);
}

INSTANTIATE_TEST_SUITE_P(LineCheck, EitherBreak, testing::Bool(),
                         [](const auto& info) { return info.param ? "FakedBreak" : "HeldBreak"; });

struct CostCase {
  const char* name;
  LineBehaviour behaviour;
  LineVerdict verdict;
};

class SwitchCost : public LineCheckTest, public testing::WithParamInterface<CostCase> {};

TEST_P(SwitchCost, VerdictFollowsWhatTheSwitchesCost) {
  fake_serial::SetLineBehaviour("COM2", GetParam().behaviour);
  EXPECT_EQ(CheckCom2().verdict, GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(
    LineCheck, SwitchCost,
    testing::Values(
        CostCase{"BuiltInPort", {}, LineVerdict::Fit},
        CostCase{"UsbAdapterOneMsASwitch", {.switchCostNs = kMs}, LineVerdict::Fit},
        CostCase{
            "BreakTwiceAsSlow", {.switchCostNs = kMs, .breakCostNs = 2 * kMs}, LineVerdict::Fit},
        CostCase{"BreakTwentyTimesAsSlow",
                 {.switchCostNs = kMs, .breakCostNs = 20 * kMs},
                 LineVerdict::BreakTooSlow},
        CostCase{"BreakOfTwoMsOnAFastPort", {.breakCostNs = 2 * kMs}, LineVerdict::BreakTooSlow},
        CostCase{"FakedBreak", {.fakedBreak = true}, LineVerdict::BreakFaked},
        CostCase{"FakedBreakOnASlowAdapter",
                 {.switchCostNs = 3 * kMs, .fakedBreak = true},
                 LineVerdict::BreakFaked}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LineCheckTest, MeasuresWhatASwitchCosts) {
  fake_serial::SetLineBehaviour("COM2", {.switchCostNs = kMs, .breakCostNs = 3 * kMs / 2});
  const double started = ElapsedMs();
  const LineCheck check = CheckCom2();
  EXPECT_NEAR(check.cost.modemSwitchMs, 1.0, 0.01);
  EXPECT_NEAR(check.cost.breakSwitchMs, 1.5, 0.01);
  // Its time is its switches' cost, with no waits of its own.
  EXPECT_LT(ElapsedMs() - started, fake_serial::Counts("COM2").switches * 1.5 + 1);
}

TEST_F(LineCheckTest, PortWhoseLinesDoNotSwitchIsLostBeforeAnyReset) {
  fake_serial::SetDevice("COM2", DeviceState::Present, 0);
  EXPECT_EQ(PortFaultOf(EraseCommand({.port = "COM2"})).kind, PortFaultKind::LineLost);
  EXPECT_FALSE(ChipWasReset("COM2"));
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

TEST_F(LineCheckTest, PortThatRefusesTheBreakIsRefusedBeforeAnyReset) {
  // A device that takes the switches the check makes on COM1 before its
  // first break.
  fake_serial::SetDevice("COM1", DeviceState::Present);
  ASSERT_TRUE(OpenPort("COM1:9600,N,8,1"));
  CheckLine();
  ClosePort();
  const auto& events = fake_serial::Events("COM1");
  const auto firstBreak = std::find_if(events.begin(), events.end(),
                                       [](const LineEvent& e) { return e.line == PortLine::Txd; });
  ASSERT_NE(firstBreak, events.begin());
  fake_serial::SetDevice("COM2", DeviceState::Present,
                         static_cast<int>(firstBreak - events.begin()));
  EXPECT_EQ(PortFaultOf(EraseCommand({.port = "COM2"})).kind, PortFaultKind::BreakRefused);
  EXPECT_FALSE(ChipWasReset("COM2"));
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

TEST_F(LineCheckTest, SlowPortStillWritesEveryByte) {
  fake_serial::SetLineBehaviour("COM2", {.switchCostNs = 2 * kMs});
  TextLog log;
  ASSERT_EQ(DownloadCommand({.port = "COM2", .file = FileNamed(TestImage("blink_lf.hex"))}, log),
            std::nullopt);
  const ChipModel chip = ChipOn("COM2");
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  const std::string image = ReadWhole(TestImage("blink.bin"));
  EXPECT_EQ(chip.Flash(), ErasedFlashWith({image.begin(), image.end()}));
}
