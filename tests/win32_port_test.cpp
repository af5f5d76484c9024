// The Win32 serial layer on the ports the test command gives it: COM1 is a
// pseudo-terminal (it opens and configures, has a break condition but no
// modem lines); COM2 names nothing that exists; COM0 is no device at all.
#include <gtest/gtest.h>
#include <windows.h>

#include "serial/rezero.h"

TEST(Win32Port, UnknownPortKeepsTheInvalidHandleUntilClosed) {
  EXPECT_FALSE(OpenPort("COM0:9600,N,8,1"));
  EXPECT_EQ(reinterpret_cast<HANDLE>(PortHandle), INVALID_HANDLE_VALUE);
  ClosePort();
  EXPECT_EQ(PortHandle, 0);
}

TEST(Win32Port, PortWithNothingBehindItIsNotReady) {
  EXPECT_FALSE(OpenPort("COM2:9600,N,8,1"));
  EXPECT_NE(PortHandle, 0);
  ClosePort();
  EXPECT_EQ(PortHandle, 0);
}

TEST(Win32Port, PresentPortOpensAndConfigures) {
  EXPECT_TRUE(OpenPort("COM1:9600,N,8,1"));
  DCB control{};
  control.DCBlength = sizeof control;
  ASSERT_TRUE(GetCommState(reinterpret_cast<HANDLE>(PortHandle), &control));
  EXPECT_EQ(control.BaudRate, 9600u);
  EXPECT_EQ(control.ByteSize, 8);
  EXPECT_EQ(control.Parity, NOPARITY);
  EXPECT_EQ(control.StopBits, ONESTOPBIT);
  EXPECT_EQ(control.fOutX, 0u);
  EXPECT_EQ(control.fOutxCtsFlow, 0u);
  ClosePort();
}

TEST(Win32Port, NextOpenClosesTheHandleHeldBefore) {
  EXPECT_FALSE(OpenPort("COM2:9600,N,8,1"));
  ASSERT_TRUE(OpenPort("COM1:9600,N,8,1"));
  const auto first = reinterpret_cast<HANDLE>(PortHandle);
  ASSERT_TRUE(OpenPort("COM1:9600,N,8,1"));
  const auto second = reinterpret_cast<HANDLE>(PortHandle);
  // Either the first handle is gone, or its value was free to be reused.
  DWORD flags = 0;
  EXPECT_TRUE(second == first || !GetHandleInformation(first, &flags));
  ClosePort();
  EXPECT_FALSE(GetHandleInformation(second, &flags));
}

TEST(Win32Port, FailedLineSwitchIsRecordedUntilTheNextOpen) {
  ASSERT_TRUE(OpenPort("COM1:9600,N,8,1"));
  SetTxdLine(true);  // the break condition works on a pseudo-terminal
  SetTxdLine(false);
  EXPECT_FALSE(LineFailedSinceOpen());
  SetDtrLine(true);  // modem lines do not
  EXPECT_TRUE(LineFailedSinceOpen());
  ASSERT_TRUE(OpenPort("COM1:9600,N,8,1"));
  EXPECT_FALSE(LineFailedSinceOpen());
  ClosePort();
}

TEST(Win32Port, LinesWithoutAPortFail) {
  ClosePort();
  EXPECT_FALSE(OpenPort("COM2:9600,N,8,1"));
  SetRtsLine(true);
  EXPECT_TRUE(LineFailedSinceOpen());
  ClosePort();
}
