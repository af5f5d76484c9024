// The port procedures' rules, as they hold over every device behind the
// seam. A test program includes this once and instantiates
// PortRulesContract with the device it links: the in-process fake, the
// POSIX device or the Win32 device, each on fake ports.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "serial/rezero.h"
#include "sim/line_event.h"

// Each line on and off once, in the order the programming sequences use.
inline void SwitchEachLineOnAndOff() {
  SetDtrLine(true);
  SetRtsLine(true);
  SetTxdLine(true);
  SetTxdLine(false);
  SetRtsLine(false);
  SetDtrLine(false);
}

class PortBench {
 public:
  virtual ~PortBench() = default;
  // Mode strings: a port that is there, one that is not, and one that
  // refuses every line switch after its first few.
  virtual std::string Present() = 0;
  virtual std::string Absent() = 0;
  virtual std::string Failing() = 0;
  // The line switches that reached the present port, in order.
  virtual std::vector<LineEvent> Events() = 0;
  // Whether anyone holds the present port, so that no other program could.
  virtual bool PresentHeld() = 0;
  // The failing port unplugged and plugged in again.
  virtual void ReplugFailing() = 0;
};

using BenchFactory = std::unique_ptr<PortBench> (*)();

class PortRulesContract : public testing::TestWithParam<BenchFactory> {
 protected:
  void SetUp() override { bench_ = GetParam()(); }
  void TearDown() override { ClosePort(); }

  std::unique_ptr<PortBench> bench_;
};

TEST_P(PortRulesContract, AbsentPortIsNotReadyItsLinesFailAndTheNextOpenIsUnhindered) {
  EXPECT_FALSE(OpenPort(bench_->Absent()));
  SetRtsLine(true);
  EXPECT_TRUE(LineLostSinceOpen());
  ClosePort();
  EXPECT_FALSE(bench_->PresentHeld());
  EXPECT_FALSE(OpenPort(bench_->Absent()));
  EXPECT_TRUE(OpenPort(bench_->Present()));
  ClosePort();
}

TEST_P(PortRulesContract, NextOpenLetsTheHeldPortGoAndCloseFreesIt) {
  ASSERT_TRUE(OpenPort(bench_->Present()));
  // Opened for exclusive use: only once the first handle has gone.
  ASSERT_TRUE(OpenPort(bench_->Present()));
  EXPECT_TRUE(bench_->PresentHeld());
  ClosePort();
  EXPECT_FALSE(bench_->PresentHeld());
}

TEST_P(PortRulesContract, EachLineOperationIsOneSwitchOfItsLine) {
  ASSERT_TRUE(OpenPort(bench_->Present()));
  SwitchEachLineOnAndOff();
  EXPECT_FALSE(LineLostSinceOpen());
  ClosePort();
  // What each line went through; a device may report a line that did not
  // change beside one that did (Wine sets both modem lines at once).
  std::vector<std::pair<PortLine, bool>> changes;
  bool state[3] = {false, false, false};
  for (const LineEvent& event : bench_->Events()) {
    bool& line = state[static_cast<int>(event.line)];
    if (line != event.on) changes.emplace_back(event.line, line = event.on);
  }
  const std::vector<std::pair<PortLine, bool>> expected{
      {PortLine::Dtr, true},  {PortLine::Rts, true},  {PortLine::Txd, true},
      {PortLine::Txd, false}, {PortLine::Rts, false}, {PortLine::Dtr, false}};
  ASSERT_GE(changes.size(), expected.size());
  const std::vector<std::pair<PortLine, bool>> last(
      changes.end() - static_cast<std::ptrdiff_t>(expected.size()), changes.end());
  EXPECT_EQ(last, expected);
}

TEST_P(PortRulesContract, FailedSwitchIsRecordedUntilTheNextOpen) {
  ASSERT_TRUE(OpenPort(bench_->Failing()));
  for (int i = 0; i < 10 && !LineLostSinceOpen(); ++i) SetRtsLine(i % 2 == 0);
  EXPECT_TRUE(LineLostSinceOpen());
  SetDtrLine(false);
  EXPECT_TRUE(LineLostSinceOpen());
  bench_->ReplugFailing();
  ASSERT_TRUE(OpenPort(bench_->Failing()));
  EXPECT_FALSE(LineLostSinceOpen());
  ClosePort();
}
