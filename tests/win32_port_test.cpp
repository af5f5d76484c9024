// The Win32 serial layer under Wine, on the fake serial devices that
// scripts/test-windows.sh puts behind COM1, COM2 and COM3: files named by
// FLASH89_WINE_COM1..3, present while the file exists. COM1 is absent,
// COM3 fails every line switch after its third. A fake port's file looks
// like a device to Wine, which will not delete it: only the script can
// unplug a port. The Wine server opens a port and the program
// switches its lines on a descriptor it was sent; the fake follows it there.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "port_rules_contract.h"
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
 public:
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
  static HANDLE OpenAsAnotherProgram(const char* port) {
    return CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
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

class Win32DeviceBench : public PortBench {
 public:
  Win32DeviceBench() {
    if (Env("FLASH89_WINE_COM2").empty() || Env("FLASH89_WINE_COM3").empty()) return;
    Win32Port::PlugIn("COM2");
    Win32Port::PlugIn("COM3");
  }
  std::string Present() override { return "COM2:9600,N,8,1"; }
  std::string Absent() override { return "COM1:9600,N,8,1"; }
  std::string Failing() override { return "COM3:9600,N,8,1"; }
  std::vector<LineEvent> Events() override {
    return LineEventsOf(Win32Port::TraceOf("COM2"), Win32Port::Backing("COM2"));
  }
  // Wine does not keep a second handle from a device opened for exclusive
  // use: the descriptors that its server sent tell.
  bool PresentHeld() override {
    int open = 0;
    for (const TraceRecord& record : Win32Port::TraceOf("COM2")) {
      if (record.call == "attach" || record.call == "open" || record.call == "dup") ++open;
      if (record.call == "close") --open;
    }
    return open > 0;
  }
  void ReplugFailing() override { Win32Port::PlugIn("COM3"); }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32Device, PortRulesContract,
                         testing::Values(+[]() -> std::unique_ptr<PortBench> {
                           return std::make_unique<Win32DeviceBench>();
                         }));

TEST_F(Win32Port, PresentPortIsLeftConfigured) {
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  ClosePort();
  // The settings as the device keeps them.
  const HANDLE port = OpenAsAnotherProgram("COM2");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DCB control{};
  control.DCBlength = sizeof control;
  EXPECT_TRUE(GetCommState(port, &control));
  CloseHandle(port);
  EXPECT_EQ(control.BaudRate, 9600u);
  EXPECT_EQ(control.ByteSize, 8);
  EXPECT_EQ(control.Parity, NOPARITY);
  EXPECT_EQ(control.StopBits, ONESTOPBIT);
  EXPECT_EQ(control.fOutX, 0u);
  EXPECT_EQ(control.fOutxCtsFlow, 0u);
}

TEST_F(Win32Port, EveryDescriptorThatTheServerSentIsClosed) {
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  SetDtrLine(true);
  SetDtrLine(false);
  ClosePort();
  // The server opened the port, the program was sent it, and every
  // descriptor of it was closed.
  int attached = 0, opened = 0, closed = 0;
  for (const TraceRecord& record : TraceOf("COM2")) {
    attached += record.call == "attach" ? 1 : 0;
    opened += record.call == "attach" || record.call == "open" || record.call == "dup" ? 1 : 0;
    closed += record.call == "close" ? 1 : 0;
  }
  EXPECT_GE(attached, 2);
  EXPECT_EQ(closed, opened);
}
