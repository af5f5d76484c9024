// The few operations that differ by operating system. Exactly one
// implementation of each half is linked into a program: the POSIX or Win32
// serial device and counter in production, the fakes from sim/ in tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace device_seam {

// Same width as a Win32 HANDLE; on POSIX it holds a file descriptor.
using Handle = std::intptr_t;

// The value a failed open leaves behind (INVALID_HANDLE_VALUE on Win32).
inline constexpr Handle kInvalidHandle = -1;

enum class LineCode : std::uint8_t { SetRts, ClearRts, SetDtr, ClearDtr, SetBreak, ClearBreak };

// The settings every port is opened with, after the device in a mode
// string: "COM1:9600,N,8,1", "/dev/ttyUSB0:9600,N,8,1",
// "\\.\COM12:9600,N,8,1".
inline constexpr std::string_view kPortSettings = ":9600,N,8,1";

// The device that a mode string names: its first four characters ("COM1"),
// as the window's mode strings have always been read; a device path
// ("/dev/ttyUSB0", "\\.\COM12") is all that comes before the settings, as
// a path may hold colons of its own.
inline std::string_view ModeDevice(std::string_view mode) {
  const bool path = mode.starts_with('/') || mode.starts_with('\\');
  if (path && mode.size() > kPortSettings.size() && mode.ends_with(kPortSettings)) {
    return mode.substr(0, mode.size() - kPortSettings.size());
  }
  return mode.substr(0, 4);
}

// Opens the port that deviceName names ("COM1", "\\.\COM12", "/dev/ttyUSB0")
// for exclusive use. Returns kInvalidHandle when it cannot be opened.
Handle OpenDevice(std::string_view deviceName);

// Applies the mode string (9600 baud, 8N1, no flow control) and leaves DTR
// and RTS off. True when the device is configured and usable.
bool ConfigureDevice(Handle handle, const char* mode);

void SetDeviceTimeouts(Handle handle, std::uint32_t timeoutMs);

// Exactly one system call. False when the device refused the switch.
bool SwitchLine(Handle handle, LineCode code);

// The state of CTS, where a cable may bring the chip's data output back.
// Exactly one system call: TIOCMGET on POSIX, GetCommModemStatus on Win32.
// False when the device refused.
bool ReadCts(Handle handle, bool& on);

void CloseDevice(Handle handle);

// The kernel driver behind the port ("ch341", "ftdi_sio", "serial8250"),
// where the platform can tell; empty otherwise. Only for the user's words.
std::string DeviceDriverName(std::string_view deviceName);

// A serial port that the system knows, as a port name the user can give.
struct PortEntry {
  std::string name;    // "/dev/ttyUSB0" on Linux, "COM3" on Windows
  std::string driver;  // "ftdi_sio", "\Device\VCP0"; empty when unknown
};

// The serial ports present, found without opening any: opening one pulses
// the lines of whatever hangs on it.
std::vector<PortEntry> ListPorts();

}  // namespace device_seam

namespace counter_seam {

// Ticks per second of the monotonic high-resolution counter.
std::int64_t CounterFrequency();

// Reading it must not enter the kernel: it is read in every spin of a wait.
std::int64_t ReadCounter();

}  // namespace counter_seam
