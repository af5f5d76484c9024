// The POSIX serial layer itself, run with the fake serial device preloaded:
// every call it makes on a port is recorded at the operating system's
// boundary. The ports used here are files in a test folder (see CMake).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "isp/isp.h"
#include "serial/rezero.h"
#include "sim/chip_model.h"
#include "sim/trace_file.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The line operations since the last configuration of the port.
std::vector<std::string> CallsAfterConfiguration(const std::vector<TraceRecord>& trace) {
  std::vector<std::string> calls;
  for (const TraceRecord& record : trace) {
    if (record.call == "tcsetattr") calls.clear();
    calls.push_back(record.call);
  }
  return calls;
}

}  // namespace

class PosixPort : public testing::Test {
 protected:
  void SetUp() override {
    ports_ = Env("FLASH89_TEST_PORTS");
    ASSERT_FALSE(ports_.empty()) << "run through ctest: the fake device must be preloaded";
    std::filesystem::create_directories(ports_);
    for (const char* name : {"present", "failing", "busy"}) std::ofstream(ports_ + "/" + name);
    std::filesystem::remove(ports_ + "/absent");
    std::filesystem::remove(Trace());
    UsePort("COM1", "absent");
    UsePort("COM2", "present");
    StartClock();
  }
  void TearDown() override { ClosePort(); }

  void UsePort(const char* port, const std::string& device) {
    setenv((std::string("FLASH89_") + port).c_str(), (ports_ + "/" + device).c_str(), 1);
  }
  std::string Trace() const { return ports_ + "/trace"; }
  std::string Device(const std::string& name) const { return ports_ + "/" + name; }
  std::vector<TraceRecord> TraceOf(const std::string& device) const {
    std::vector<TraceRecord> records;
    for (TraceRecord& record : ReadTrace(Trace())) {
      if (record.device == Device(device)) records.push_back(std::move(record));
    }
    return records;
  }

  std::string ports_;
};

TEST_F(PosixPort, OpenTakesThePortExclusivelyAndLeavesDtrAndRtsOff) {
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  int lines = -1;
  ASSERT_EQ(ioctl(static_cast<int>(PortHandle), TIOCMGET, &lines), 0);
  EXPECT_EQ(lines & (TIOCM_DTR | TIOCM_RTS), 0);
  ClosePort();

  std::vector<std::string> calls;
  int speed = 0;
  for (const TraceRecord& record : TraceOf("present")) {
    calls.push_back(record.call);
    if (record.call == "tcsetattr") speed = record.argument;
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"open", "TIOCEXCL", "flock", "tcgetattr", "tcsetattr",
                                             "TIOCMBIC", "TIOCMGET", "close"}));
  EXPECT_EQ(speed, B9600);
}

TEST_F(PosixPort, EachLineOperationIsExactlyOneSystemCall) {
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  SetDtrLine(true);
  SetRtsLine(true);
  SetTxdLine(true);
  SetTxdLine(false);
  SetRtsLine(false);
  SetDtrLine(false);
  ClosePort();
  EXPECT_EQ(CallsAfterConfiguration(TraceOf("present")),
            (std::vector<std::string>{"tcsetattr", "TIOCMBIC", "TIOCMBIS", "TIOCMBIS", "TIOCSBRK",
                                      "TIOCCBRK", "TIOCMBIC", "TIOCMBIC", "close"}));
  EXPECT_FALSE(LineFailedSinceOpen());
}

TEST_F(PosixPort, SecondOpenClosesTheFirstHandle) {
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  ClosePort();
  int opens = 0, closes = 0, open = 0, mostOpen = 0;
  for (const TraceRecord& record : TraceOf("present")) {
    if (record.call == "open") ++opens, ++open;
    if (record.call == "close") ++closes, --open;
    mostOpen = std::max(mostOpen, open);
  }
  EXPECT_EQ(opens, 2);
  EXPECT_EQ(closes, 2);
  EXPECT_EQ(mostOpen, 1);
}

TEST_F(PosixPort, AbsentBusyAndHeldPortsAreNotReady) {
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  EXPECT_EQ(PortHandle, -1);
  ClosePort();
  EXPECT_EQ(PortHandle, 0);

  UsePort("COM1", "busy");
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  ClosePort();

  // Another process holds COM2 until told to let go.
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const char held = OpenPort("COM2:9600,N,8,1") ? 'y' : 'n';
    (void)!write(ready[1], &held, 1);
    char go;
    (void)!read(release[0], &go, 1);
    _exit(0);
  }
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  EXPECT_EQ(held, 'y');
  EXPECT_FALSE(OpenPort("COM2:9600,N,8,1"));
  ClosePort();
  (void)!write(release[1], "x", 1);
  int status = 0;
  waitpid(holder, &status, 0);
  EXPECT_TRUE(OpenPort("COM2:9600,N,8,1"));
  ClosePort();
  for (const int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(PosixPort, PseudoTerminalHasNoModemLinesAndIsNotReady) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  setenv("FLASH89_COM1", ptsname(master), 1);
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  ClosePort();
  close(master);
}

TEST_F(PosixPort, FailingLineSwitchesAreRecorded) {
  UsePort("COM1", "failing");  // accepts the clearing at open and four switches more
  ASSERT_TRUE(OpenPort("COM1:9600,N,8,1"));
  for (int i = 0; i < 4; ++i) SetRtsLine(i % 2 == 0);
  EXPECT_FALSE(LineFailedSinceOpen());
  SetTxdLine(true);
  EXPECT_TRUE(LineFailedSinceOpen());
  ClosePort();
}

TEST_F(PosixPort, RealSerialDevicesAreRefusedByTheFake) {
  // Names that no machine has: refused by the fake, or missing without it.
  for (const char* device : {"/dev/ttyS987", "/dev/ttyUSB987", "/dev/ttyACM987", "/dev/ttyAMA987",
                             "/dev/rfcomm987", "/dev/serial/by-id/usb-none-if00-port0"}) {
    SCOPED_TRACE(device);
    errno = 0;
    EXPECT_EQ(open(device, O_RDWR | O_NOCTTY | O_NONBLOCK), -1);
    EXPECT_EQ(errno, EACCES);
  }
}

TEST_F(PosixPort, RealTimeWaveformIsAcceptedByTheChip) {
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  EnterProgramming();
  WriteFlashByte(0x0010, 0x42);
  WriteFlashByte(0x0011, 0x24);
  FinishProgramming();
  ClosePort();
  ChipModel chip;
  chip.Feed(LineEventsOf(ReadTrace(Trace()), Device("present")));
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_EQ(chip.EraseCount(), 1);
  EXPECT_EQ(chip.Flash()[0x0010], 0x42);
  EXPECT_EQ(chip.Flash()[0x0011], 0x24);
  EXPECT_EQ(chip.Flash()[0x0012], 0xFF);
}

TEST_F(PosixPort, PortNeverTakesTheStandardStreamsDescriptors) {
  // A program started with stdin closed gets descriptor 0 from the next
  // open: the port must still be a port, and closing it must not close 0.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(STDIN_FILENO);
    const bool opened = OpenPort("COM2:9600,N,8,1");
    const bool aboveStreams = PortHandle > 2;
    SetRtsLine(true);
    const bool switched = !LineFailedSinceOpen();
    ClosePort();
    const bool stdinStillFree = fcntl(STDIN_FILENO, F_GETFD) == -1;
    _exit(opened && aboveStreams && switched && stdinStillFree ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
