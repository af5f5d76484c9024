// The port procedures' state rules, against the in-process fake device.
#include <gtest/gtest.h>

#include "fake_chip_fixture.h"

using fake_serial::DeviceState;

using PortRules = FakeChipTest;

TEST_F(PortRules, MissingPortDoesNotOpenAndItsLinesHaveNoEffect) {
  fake_serial::SetDevice("COM1", DeviceState::Absent);
  fake_serial::SetDevice("COM2", DeviceState::Present);
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  SetDtrLine(true);
  EXPECT_TRUE(LineFailedSinceOpen());
  ClosePort();
  EXPECT_EQ(fake_serial::Counts("COM1").failedOpens, 1);
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
  EXPECT_TRUE(fake_serial::Events("COM2").empty());
}

TEST_F(PortRules, SecondOpenClosesTheFirstHandleSoAHeldPortCanBeReopened) {
  fake_serial::SetDevice("COM2", DeviceState::Present);
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  EXPECT_TRUE(OpenPort("COM2:9600,N,8,1"));
  EXPECT_EQ(fake_serial::OpenHandleCount(), 1);
  EXPECT_EQ(fake_serial::Counts("COM2").closes, 1);
  ClosePort();
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
}

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

TEST_F(PortRules, EachLineOperationIsOneSwitchOfItsLine) {
  fake_serial::SetDevice("COM2", DeviceState::Present);
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  SetDtrLine(true);
  SetRtsLine(true);
  SetTxdLine(true);
  SetTxdLine(false);
  ClosePort();
  const auto& events = fake_serial::Events("COM2");
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(fake_serial::Counts("COM2").switches, 4);
  EXPECT_EQ(events[0].line, PortLine::Dtr);
  EXPECT_TRUE(events[0].on);
  EXPECT_EQ(events[1].line, PortLine::Rts);
  EXPECT_EQ(events[2].line, PortLine::Txd);
  EXPECT_TRUE(events[2].on);
  EXPECT_FALSE(events[3].on);
}

TEST_F(PortRules, FailedSwitchIsRecordedUntilTheNextOpen) {
  fake_serial::SetDevice("COM2", DeviceState::Present, 2);
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  SetRtsLine(true);
  SetRtsLine(false);
  EXPECT_FALSE(LineFailedSinceOpen());
  SetRtsLine(true);
  EXPECT_TRUE(LineFailedSinceOpen());
  SetRtsLine(false);
  EXPECT_TRUE(LineFailedSinceOpen());
  fake_serial::SetDevice("COM2", DeviceState::Present);
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  EXPECT_FALSE(LineFailedSinceOpen());
  ClosePort();
}
