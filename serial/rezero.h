// One serial port at a time, used only for its DTR, RTS and TXD break lines,
// and the millisecond clock whose spinning waits time those lines.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "serial/device_seam.h"

// 0 when no port is held. A failed open leaves the invalid handle here, and
// it counts as open for the next OpenPort.
extern device_seam::Handle PortHandle;

class LineDriver;

// True when the device is present, free and configured. The lines are the
// serial port's until ChooseLineDriver says otherwise.
bool OpenPort(std::string_view mode);

// The mode string of a port by the name the user gives it: "COM7" is
// "COM7:9600,N,8,1" like the window's, COM10 and up are in the device
// namespace ("\\.\COM12:9600,N,8,1"), a path is as given
// ("/dev/ttyUSB0:9600,N,8,1").
std::string ModeStringForPort(std::string_view portName);

enum class LineDriverChoice : std::uint8_t {
  SerialPort,
  Adapter,   // an FTDI adapter clocks the lines out in bit-bang mode
  PortLost,  // the adapter could not be used, nor the serial port had back
};

// After a successful OpenPort, once per command: the lines go to the FTDI
// adapter behind the port, where there is one and FLASH89_BITBANG is not
// "off"; otherwise they stay the serial port's. Taking an adapter measures
// its sample rate with the lines released. Trying a port (OpenPort alone)
// leaves the device with the operating system's driver.
LineDriverChoice ChooseLineDriver(std::string_view mode);

// The driver that the line procedures, WaitMs and LineFailedSinceOpen act on.
LineDriver& ActiveLineDriver();

// For one scope the lines go to driver, a dry run's counting driver, say;
// the driver before comes back when the scope ends.
class ScopedLineDriver {
 public:
  explicit ScopedLineDriver(LineDriver& driver);
  ~ScopedLineDriver();
  ScopedLineDriver(const ScopedLineDriver&) = delete;
  ScopedLineDriver& operator=(const ScopedLineDriver&) = delete;

 private:
  LineDriver* previous_;
};
void SetPortTimeouts(std::uint32_t timeoutMs);
void ClosePort();

void SetDtrLine(bool on);  // reset
void SetRtsLine(bool on);  // clock
void SetTxdLine(bool on);  // on: TXD held in break

// Whether any line switch failed since the last OpenPort, e.g. because a USB
// adapter was unplugged in the middle of a command. On an adapter that
// clocks out the lines itself, what is still gathered is sent first, and the
// answer covers every switch made so far.
bool LineFailedSinceOpen();

// The CTS input, where the chip's data output may come back: reads it as
// the lines stand now, false when it cannot be read. The levels come from
// CollectCtsLevels, oldest first, once levels.size() readings were taken:
// an adapter that clocks out the lines itself reads them only as its
// samples go out. Only while reading; the write path never calls them.
bool ReadCtsLine();
bool CollectCtsLevels(std::span<bool> levels);

// The driver behind the port that the mode string names, where the platform
// can tell ("ch341"); empty otherwise.
std::string PortDriverName(std::string_view mode);

// A serial port present on the system, found without opening it.
struct PresentPort {
  std::string name;      // as a port choice names it: "/dev/ttyUSB0", "COM3"
  std::string driver;    // empty when the platform does not name it
  bool adapter = false;  // an FTDI adapter whose lines bit-bang can drive
};
std::vector<PresentPort> PresentPorts();

extern double MsPerTick;
extern std::int64_t ClockStart;

void StartClock();
double ElapsedMs();
void WaitMs(double durationMs);

// Work that may run inside a long wait, such as repainting the window. The
// wait's end is fixed before the work starts, so work shorter than the wait
// does not lengthen it; it runs at most once per wait of at least
// kIdleWorkMinimumMs.
class WaitIdleWork {
 public:
  virtual void DuringWait() = 0;

 protected:
  ~WaitIdleWork() = default;
};
inline constexpr double kIdleWorkMinimumMs = 1.0;

// Installs work for the waits of one scope; the work installed before comes
// back when the scope ends.
class ScopedWaitIdleWork {
 public:
  explicit ScopedWaitIdleWork(WaitIdleWork& work);
  ~ScopedWaitIdleWork();
  ScopedWaitIdleWork(const ScopedWaitIdleWork&) = delete;
  ScopedWaitIdleWork& operator=(const ScopedWaitIdleWork&) = delete;

  // The work installed before, or null: work that joins the waits of an
  // inner scope runs it too, so that nothing installed outside is lost.
  WaitIdleWork* Previous() const { return previous_; }

 private:
  WaitIdleWork* previous_;
};

// Back to the state of a program that has just started: no port held, the
// serial port's lines, no failure recorded, no idle work, the clock's
// initial values. For tests.
void ResetSerialModule();
