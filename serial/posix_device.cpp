// POSIX serial device: COMn is /dev/ttyS(n-1), or the device named by the
// environment variable FLASH89_COMn (a USB adapter, say); an absolute path
// is the device it names.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "serial/device_seam.h"
#include "serial/tty_facts.h"

namespace device_seam {
namespace {

// Descriptors 0 to 2 are the process's standard streams. A port is never
// held there, so a stale or zero handle can never switch the lines of
// whatever terminal the program was started from.
constexpr int kFirstPortDescriptor = 3;

bool IsPortDescriptor(Handle handle) { return handle >= kFirstPortDescriptor; }

bool ConfigureLine(int fd, const termios& before) {
  termios settings = before;
  cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (cfsetispeed(&settings, B9600) != 0 || cfsetospeed(&settings, B9600) != 0) return false;
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

}  // namespace

Handle OpenDevice(std::string_view deviceName) {
  const std::string path = tty_facts::PortDevicePath(deviceName);
  if (path.empty()) return kInvalidHandle;
  // Non-blocking, so that a missing carrier cannot hang the open; never the
  // controlling terminal.
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kInvalidHandle;
  if (fd < kFirstPortDescriptor) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, kFirstPortDescriptor);
    ::close(fd);
    if (moved < 0) return kInvalidHandle;
    fd = moved;
  }
  return fd;
}

bool ConfigureDevice(Handle handle, const char* /*mode: always 9600,N,8,1*/) {
  if (!IsPortDescriptor(handle)) return false;
  const int fd = static_cast<int>(handle);
  // TIOCEXCL refuses later opens of the tty, but a process that opened it
  // before us would slip through; the advisory lock closes that race with
  // every program that honours it (minicom, picocom, ModemManager). The
  // lock comes first: TIOCEXCL belongs to the tty, not to our descriptor,
  // and would shut out the program that holds the port after we gave up.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
  termios before{};
  if (tcgetattr(fd, &before) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
    ::flock(fd, LOCK_UN);
    return false;
  }
  // Opening a tty raises DTR and RTS; the chip must see neither reset nor
  // clock until a command asks for them. A pseudo-terminal has no modem
  // lines and fails here, so it is not taken for a port.
  const int both = TIOCM_DTR | TIOCM_RTS;
  if (ConfigureLine(fd, before) && ::ioctl(fd, TIOCMBIC, &both) == 0) return true;
  // A port we do not keep is left to others as we found it.
  tcsetattr(fd, TCSANOW, &before);
  ::ioctl(fd, TIOCNXCL);
  ::flock(fd, LOCK_UN);
  return false;
}

void SetDeviceTimeouts(Handle /*handle*/, std::uint32_t /*timeoutMs*/) {
  // Nothing is ever read or written, and a tty has no per-call timeouts.
}

bool SwitchLine(Handle handle, LineCode code) {
  if (!IsPortDescriptor(handle)) return false;
  const int fd = static_cast<int>(handle);
  static const int dtr = TIOCM_DTR;
  static const int rts = TIOCM_RTS;
  switch (code) {
    case LineCode::SetRts: return ::ioctl(fd, TIOCMBIS, &rts) == 0;
    case LineCode::ClearRts: return ::ioctl(fd, TIOCMBIC, &rts) == 0;
    case LineCode::SetDtr: return ::ioctl(fd, TIOCMBIS, &dtr) == 0;
    case LineCode::ClearDtr: return ::ioctl(fd, TIOCMBIC, &dtr) == 0;
    case LineCode::SetBreak: return ::ioctl(fd, TIOCSBRK) == 0;
    case LineCode::ClearBreak: return ::ioctl(fd, TIOCCBRK) == 0;
  }
  return false;
}

bool ReadCts(Handle handle, bool& on) {
  if (!IsPortDescriptor(handle)) return false;
  int lines = 0;
  if (::ioctl(static_cast<int>(handle), TIOCMGET, &lines) != 0) return false;
  on = (lines & TIOCM_CTS) != 0;
  return true;
}

void CloseDevice(Handle handle) {
  // Closing drops the advisory lock with the descriptor.
  if (IsPortDescriptor(handle)) ::close(static_cast<int>(handle));
}

std::string DeviceDriverName(std::string_view deviceName) {
  const std::string path = tty_facts::PortDevicePath(deviceName);
  return path.empty() ? std::string() : tty_facts::TtyDriverName(path, tty_facts::SysfsRoot());
}

std::vector<PortEntry> ListPorts() {
  std::vector<PortEntry> ports;
  for (tty_facts::SerialTty& tty : tty_facts::ListSerialTtys(tty_facts::SysfsRoot())) {
    ports.push_back({std::move(tty.devicePath), std::move(tty.driver)});
  }
  return ports;
}

}  // namespace device_seam
