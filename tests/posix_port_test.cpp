// The POSIX serial layer itself, run with the fake serial device preloaded:
// every call it makes on a port is recorded at the operating system's
// boundary. The ports used here are files in a test folder (see CMake).
// The driver names of the platform layer come from a fake sysfs tree.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "commands/commands.h"
#include "commands/line_check.h"
#include "isp/isp.h"
#include "isp/readback.h"
#include "isp_read.h"
#include "port_rules_contract.h"
#include "serial/rezero.h"
#include "serial/tty_facts.h"
#include "sim/chip_model.h"
#include "sim/trace_file.h"
#include "temp_files.h"

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

// The test folder's ports, made anew, and no trace yet.
std::string PreparePorts() {
  const std::string ports = Env("FLASH89_TEST_PORTS");
  if (ports.empty()) return ports;
  std::filesystem::create_directories(ports);
  for (const char* name : {"present", "failing", "busy", "slow", "cabled"})
    std::ofstream(ports + "/" + name);
  std::filesystem::remove(ports + "/absent");
  std::filesystem::remove(ports + "/trace");
  StartClock();
  return ports;
}

class PosixDeviceBench : public PortBench {
 public:
  PosixDeviceBench() : ports_(PreparePorts()) {}
  std::string Present() override { return ModeStringForPort(ports_ + "/present"); }
  std::string Absent() override { return ModeStringForPort(ports_ + "/absent"); }
  std::string Failing() override { return ModeStringForPort(ports_ + "/failing"); }
  std::vector<LineEvent> Events() override {
    return LineEventsOf(ReadTrace(ports_ + "/trace"), ports_ + "/present");
  }
  bool PresentHeld() override {
    const int fd = open((ports_ + "/present").c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return true;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
  }
  // A new file, which the fake takes for a new device.
  void ReplugFailing() override {
    std::ofstream(ports_ + "/failing.new");
    std::filesystem::rename(ports_ + "/failing.new", ports_ + "/failing");
  }

 private:
  std::string ports_;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(PosixDevice, PortRulesContract,
                         testing::Values(+[]() -> std::unique_ptr<PortBench> {
                           return std::make_unique<PosixDeviceBench>();
                         }));

class PosixPort : public testing::Test {
 protected:
  void SetUp() override {
    ports_ = PreparePorts();
    ASSERT_FALSE(ports_.empty()) << "run through ctest: the fake device must be preloaded";
    UsePort("COM1", "absent");
    UsePort("COM2", "present");
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
  ClosePort();

  std::vector<std::string> calls;
  int speed = 0, lowered = 0;
  for (const TraceRecord& record : TraceOf("present")) {
    calls.push_back(record.call);
    if (record.call == "tcsetattr") speed = record.argument;
    if (record.call == "TIOCMBIC") lowered |= record.argument;
  }
  // The tty raised both as it opened.
  EXPECT_EQ(lowered & (TIOCM_DTR | TIOCM_RTS), TIOCM_DTR | TIOCM_RTS);
  EXPECT_EQ(calls, (std::vector<std::string>{"open", "flock", "tcgetattr", "TIOCEXCL", "tcsetattr",
                                             "TIOCMBIC", "close"}));
  EXPECT_EQ(speed, B9600);
}

TEST_F(PosixPort, EachLineOperationIsExactlyOneSystemCall) {
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  SwitchEachLineOnAndOff();
  ClosePort();
  EXPECT_EQ(CallsAfterConfiguration(TraceOf("present")),
            (std::vector<std::string>{"tcsetattr", "TIOCMBIC", "TIOCMBIS", "TIOCMBIS", "TIOCSBRK",
                                      "TIOCCBRK", "TIOCMBIC", "TIOCMBIC", "close"}));
  EXPECT_FALSE(LineLostSinceOpen());
}

TEST_F(PosixPort, AbsentBusyAndHeldPortsAreNotReadyAndKeepNoDescriptor) {
  const auto descriptors = [] {
    const auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
  };
  const auto before = descriptors();
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  ClosePort();
  EXPECT_EQ(descriptors(), before);

  UsePort("COM1", "busy");
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  ClosePort();
  EXPECT_EQ(descriptors(), before);

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

TEST_F(PosixPort, FailedOpenLeavesAPortThatAnotherProgramHoldsAsItWas) {
  // A terminal program holds COM2 by its advisory lock, without TIOCEXCL.
  const int terminal = open(Device("present").c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(flock(terminal, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(OpenPort("COM2:9600,N,8,1"));
  ClosePort();
  // It, and anyone else, can still open the tty.
  const int again = open(Device("present").c_str(), O_RDWR | O_NOCTTY);
  EXPECT_GE(again, 0) << "errno " << errno;
  if (again >= 0) close(again);
  close(terminal);
}

TEST_F(PosixPort, PseudoTerminalHasNoModemLinesAndIsNotReady) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  termios before{}, after{};
  ASSERT_EQ(tcgetattr(terminal, &before), 0);
  setenv("FLASH89_COM1", ptsname(master), 1);
  EXPECT_FALSE(OpenPort("COM1:9600,N,8,1"));
  ClosePort();
  // The refused open left the tty as it was: open to others, root or
  // not, and in its own settings.
  int exclusive = -1;
  ASSERT_EQ(ioctl(terminal, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ASSERT_EQ(tcgetattr(terminal, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
  close(terminal);
  close(master);
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

TEST_F(PosixPort, ChipAnswersOnCtsWhatAnEarlierProcessWrote) {
  UsePort("COM2", "cabled");  // cts=inverted
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool opened = OpenPort("COM2:9600,N,8,1");
    EnterProgramming();
    WriteFlashByte(0x0100, 0x42);
    FinishProgramming();
    ClosePort();
    _exit(opened ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Into programming mode without an erase.
  ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
  EnableProgramming();
  EXPECT_EQ(ReadAnswer(0x28, 0x0030, true), 0x1E);
  EXPECT_EQ(ReadAnswer(0x20, 0x0100, true), 0x42);
}

TEST_F(PosixPort, PortNeverTakesTheStandardStreamsDescriptors) {
  // A program started with stdin closed gets descriptor 0 from the next
  // open: the port must still be a port, and closing it must not close 0.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(STDIN_FILENO);
    const bool opened = OpenPort("COM2:9600,N,8,1");
    const bool stdinFreeWhileOpen = fcntl(STDIN_FILENO, F_GETFD) == -1;
    SetRtsLine(true);
    const bool switched = !LineLostSinceOpen();
    ClosePort();
    const bool stdinStillFree = fcntl(STDIN_FILENO, F_GETFD) == -1;
    _exit(opened && stdinFreeWhileOpen && switched && stdinStillFree ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PosixPort, SlowAdapterIsMeasuredAndStillErasesTheChip) {
  UsePort("COM1", "slow");  // 1 ms a switch
  ASSERT_TRUE(OpenPort("COM1:9600,N,8,1"));
  const LineCheck check = CheckLine();
  ClosePort();
  EXPECT_EQ(check.verdict, LineVerdict::Fit);
  EXPECT_GE(check.cost.modemSwitchMs, 1.0);
  EXPECT_GE(check.cost.breakSwitchMs, 1.0);
  EXPECT_LT(check.cost.modemSwitchMs, 3.0);  // the machine may add a little

  EXPECT_EQ(EraseCommand({.port = "COM1"}), std::nullopt);
  ChipModel chip;
  chip.Feed(LineEventsOf(ReadTrace(Trace()), Device("slow")));
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_EQ(chip.EraseCount(), 1);
}

namespace {

// A sysfs tree of the kernel's layout, with absolute links.
class FakeSysfs {
 public:
  explicit FakeSysfs(const std::filesystem::path& root) : root_(root) {}

  // A device directory, served by driver on bus.
  std::filesystem::path Device(const std::string& path, const std::string& bus = "",
                               const std::string& driver = "") const {
    const std::filesystem::path device = root_ / "devices" / path;
    std::filesystem::create_directories(device);
    if (!driver.empty()) {
      const std::filesystem::path target = root_ / "bus" / bus / "drivers" / driver;
      std::filesystem::create_directories(target);
      std::filesystem::create_directory_symlink(target, device / "driver");
    }
    return device;
  }
  void Tty(const std::string& name, const std::filesystem::path& device) const {
    const std::filesystem::path tty = root_ / "class" / "tty" / name;
    std::filesystem::create_directories(tty);
    std::filesystem::create_directory_symlink(device, tty / "device");
  }

 private:
  std::filesystem::path root_;
};

}  // namespace

TEST(SysfsDriver, DriverBehindTheTtyIsNamedThroughTheKernelsSerialLayers) {
  TempFolder folder;
  const std::filesystem::path root = folder.Path("sys");
  const FakeSysfs sysfs(root);
  // A PC's first port since Linux 6.5: serial-base's port and controller
  // between the tty and the PNP device.
  sysfs.Device("pnp0/00:04", "pnp", "serial");
  sysfs.Device("pnp0/00:04/00:04:0", "serial-base", "ctrl");
  sysfs.Tty("ttyS0", sysfs.Device("pnp0/00:04/00:04:0/00:04:0.0", "serial-base", "port"));
  // A legacy port on the platform device, as older kernels link it.
  sysfs.Tty("ttyS1", sysfs.Device("platform/serial8250", "platform", "serial8250"));
  // A CH340 adapter: the usb-serial port below the USB interface.
  sysfs.Device("pci0000:00/usb1/1-2/1-2:1.0", "usb", "ch341");
  sysfs.Tty("ttyUSB0",
            sysfs.Device("pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0", "usb-serial", "ch341-uart"));
  // A modem-class adapter: the tty sits on the interface itself.
  sysfs.Tty("ttyACM0", sysfs.Device("pci0000:00/usb1/1-3/1-3:1.0", "usb", "cdc_acm"));
  // A tty that no driver serves.
  sysfs.Tty("ttyS9", sysfs.Device("virtual/tty/ttyS9"));

  // Device files by those names, and a by-id link to one of them.
  std::filesystem::create_directories(folder.Path("dev/serial/by-id"));
  for (const char* tty : {"ttyS0", "ttyS1", "ttyUSB0", "ttyACM0", "ttyS9", "ttyUSB7"}) {
    folder.Write(std::string("dev/") + tty, "");
  }
  const std::string byId = folder.Path("dev/serial/by-id/usb-1a86_USB_Serial-if00-port0");
  std::filesystem::create_symlink(folder.Path("dev/ttyUSB0"), byId);

  const struct {
    std::string device;
    const char* driver;
  } cases[] = {
      {folder.Path("dev/ttyS0"), "serial"},    {folder.Path("dev/ttyS1"), "serial8250"},
      {folder.Path("dev/ttyUSB0"), "ch341"},   {byId, "ch341"},
      {folder.Path("dev/ttyACM0"), "cdc_acm"}, {folder.Path("dev/ttyS9"), ""},
      {folder.Path("dev/ttyUSB7"), ""},        {folder.Path("dev/missing"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    EXPECT_EQ(tty_facts::TtyDriverName(c.device, root), c.driver);
  }
  EXPECT_EQ(tty_facts::TtyDriverName(folder.Path("dev/ttyUSB0"), folder.Path("no-sysfs")), "");
}
