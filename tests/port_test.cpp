// The port procedures on the in-process fake device: its rules, and what
// only the fake's names and busy state show.
#include <gtest/gtest.h>

#include "fake_chip_fixture.h"
#include "port_rules_contract.h"

using fake_serial::DeviceState;

namespace {

class FakeDeviceBench : public PortBench {
 public:
  FakeDeviceBench() {
    fake_serial::Reset();
    virtual_counter::Reset();
    ResetSerialModule();
    StartClock();
    fake_serial::SetDevice("COM1", DeviceState::Absent);
    fake_serial::SetDevice("COM2", DeviceState::Present);
    ReplugFailing();
  }
  std::string Present() override { return "COM2:9600,N,8,1"; }
  std::string Absent() override { return "COM1:9600,N,8,1"; }
  std::string Failing() override { return "COM3:9600,N,8,1"; }
  std::vector<LineEvent> Events() override { return fake_serial::Events("COM2"); }
  bool PresentHeld() override { return fake_serial::OpenHandleCount() > 0; }
  void ReplugFailing() override { fake_serial::SetDevice("COM3", DeviceState::Present, 2); }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(FakeDevice, PortRulesContract,
                         testing::Values(+[]() -> std::unique_ptr<PortBench> {
                           return std::make_unique<FakeDeviceBench>();
                         }));

using PortRules = FakeChipTest;
TEST_F(PortRules, OnlyTheFirstFourCharactersNameTheDevice) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  EXPECT_TRUE(OpenPort("COM12:9600,N,8,1"));
  EXPECT_EQ(fake_serial::Counts("COM1").opens, 1);
  ClosePort();
}

TEST_F(PortRules, BusyPortIsNotReady) {
  fake_serial::SetDevice("COM2", DeviceState::Busy);
  EXPECT_FALSE(OpenPort("COM2:9600,N,8,1"));
  ClosePort();
}
