// The Win32 serial layer under Wine, on the fake serial devices that
// scripts/test-windows.sh puts behind COM1, COM2 and COM3: files named by
// FLASH89_WINE_COM1..3, present while the file exists. COM1 is absent,
// COM3 fails every line switch after its third. A fake port's file looks
// like a device to Wine, which will not delete it: only the script can
// unplug a port. The Wine server opens a port and the program
// switches its lines on a descriptor it was sent; the fake follows it there.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "serial/rezero.h"
#include "sim/trace_file.h"

namespace {

// A Unix path as this Windows program reaches it.
std::string Reachable(const std::string& unixPath) { return "Z:" + unixPath; }

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class Win32Port : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"FLASH89_WINE_COM1", "FLASH89_WINE_COM2", "FLASH89_WINE_COM3"}) {
      ASSERT_FALSE(Env(name).empty())
          << "run by scripts/test-windows.sh: " << name << " is not set";
    }
    PlugIn("COM2");
    PlugIn("COM3");
  }
  void TearDown() override { ClosePort(); }

  static std::string Backing(const std::string& port) {
    return Env(("FLASH89_WINE_" + port).c_str());
  }
  // Truncating the file makes the device anew.
  static void PlugIn(const std::string& port) { std::ofstream(Reachable(Backing(port))); }
  static std::vector<TraceRecord> TraceOf(const std::string& port) {
    std::vector<TraceRecord> records;
    for (TraceRecord& record : ReadTrace(Reachable(Env("FLASH89_FAKE_TRACE")))) {
      if (record.device == Backing(port)) records.push_back(std::move(record));
    }
    return records;
  }
};

}  // namespace

TEST_F(Win32Port, UnknownPortKeepsTheInvalidHandleUntilClosed) {
  EXPECT_FALSE(OpenPort("COM0:9600,N,8,1"));
  EXPECT_EQ(reinterpret_cast<HANDLE>(PortHandle), INVALID_HANDLE_VALUE);
  ClosePort();
  EXPECT_EQ(PortHandle, 0);
}

TEST_F(Win32Port, AbsentPortIsNotReady) {
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  EXPECT_NE(PortHandle, 0);
  ClosePort();
  EXPECT_EQ(PortHandle, 0);
}

TEST_F(Win32Port, PresentPortOpensAndConfigures) {
  EXPECT_TRUE(OpenPort("COM2:9600,N,8,1"));
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

TEST_F(Win32Port, NextOpenClosesTheHandleHeldBefore) {
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  const auto first = reinterpret_cast<HANDLE>(PortHandle);
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  const auto second = reinterpret_cast<HANDLE>(PortHandle);
  // Either the first handle is gone, or its value was free to be reused.
  DWORD flags = 0;
  EXPECT_TRUE(second == first || !GetHandleInformation(first, &flags));
  ClosePort();
  EXPECT_FALSE(GetHandleInformation(second, &flags));
}

TEST_F(Win32Port, LineSwitchesReachTheFakeDeviceBehindCom2) {
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  SetDtrLine(true);
  SetRtsLine(true);
  SetTxdLine(true);
  SetTxdLine(false);
  SetRtsLine(false);
  SetDtrLine(false);
  EXPECT_FALSE(LineFailedSinceOpen());
  ClosePort();

  // Each line was switched on, and is off again at the end.
  const std::vector<TraceRecord> trace = TraceOf("COM2");
  std::map<PortLine, std::vector<bool>> states;
  for (const LineEvent& event : LineEventsOf(trace, Backing("COM2")))
    states[event.line].push_back(event.on);
  for (const PortLine line : {PortLine::Dtr, PortLine::Rts, PortLine::Txd}) {
    SCOPED_TRACE(static_cast<int>(line));
    ASSERT_FALSE(states[line].empty());
    EXPECT_NE(std::find(states[line].begin(), states[line].end(), true), states[line].end());
    EXPECT_FALSE(states[line].back());
  }
  // The server opened the port, the program was sent it, and every
  // descriptor of it was closed.
  int attached = 0, opened = 0, closed = 0;
  for (const TraceRecord& record : trace) {
    attached += record.call == "attach" ? 1 : 0;
    opened += record.call == "attach" || record.call == "open" || record.call == "dup" ? 1 : 0;
    closed += record.call == "close" ? 1 : 0;
  }
  EXPECT_GE(attached, 2);
  EXPECT_EQ(closed, opened);
}

TEST_F(Win32Port, FailedLineSwitchIsRecordedUntilTheNextOpen) {
  ASSERT_TRUE(OpenPort("COM3:9600,N,8,1"));
  SetTxdLine(true);
  SetTxdLine(false);
  for (int i = 0; i < 4 && !LineFailedSinceOpen(); ++i) SetDtrLine(i % 2 == 0);
  EXPECT_TRUE(LineFailedSinceOpen());
  PlugIn("COM3");  // plugged in again
  ClosePort();
  ASSERT_TRUE(OpenPort("COM3:9600,N,8,1"));
  EXPECT_FALSE(LineFailedSinceOpen());
  ClosePort();
}

TEST_F(Win32Port, LinesWithoutAPortFail) {
  ClosePort();
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  SetRtsLine(true);
  EXPECT_TRUE(LineFailedSinceOpen());
  ClosePort();
}
