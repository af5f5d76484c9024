// What Linux tells about a serial tty without opening it (opening one
// pulses the lines of whatever hangs on it): the device file that a port
// name stands for and, from sysfs, the kernel driver serving the tty and
// where it sits on USB.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tty_facts {

// The root of sysfs: "/sys" in the programs, the tree that a test built in
// a test program. The facts below are read from the root they are given,
// which outside a test of this module is this one.
std::string SysfsRoot();

// The driver of every FTDI chip's tty.
inline constexpr std::string_view kFtdiDriver = "ftdi_sio";

// The device file that a port name stands for, the one place where a name
// becomes a path on this platform: "COM1" to "COM9" are FLASH89_COMn when
// it is set, otherwise /dev/ttyS(n-1); an absolute path (/dev/ttyUSB0,
// /dev/serial/by-id/...) is as given. Empty for anything else.
std::string PortDevicePath(std::string_view portName);

// The driver behind the tty that devicePath names (symbolic links such as
// /dev/serial/by-id/... are followed): "serial8250", "ch341", "ftdi_sio",
// "pl2303", "cp210x", "cdc_acm", ... The kernel's own serial layers between
// the tty and its hardware (serial-base, usb-serial) are looked through.
// Empty when sysfsRoot knows no such tty or no driver serves it.
std::string TtyDriverName(const std::string& devicePath, const std::filesystem::path& sysfsRoot);

// Where a tty on USB sits: which device (bus and address), which of its
// interfaces, and the driver serving it.
struct UsbSerialLocation {
  int bus = 0;
  int address = 0;
  int interfaceNumber = 0;  // the channel of a multi-channel chip
  std::string driver;       // as TtyDriverName names it
};

// Nothing when the tty is not on USB. Links are followed as above.
std::optional<UsbSerialLocation> LocateUsbSerial(const std::string& devicePath,
                                                 const std::filesystem::path& sysfsRoot);

struct SerialTty {
  std::string devicePath;                // /dev/NAME
  std::string driver;                    // empty when no driver serves it
  std::optional<UsbSerialLocation> usb;  // set for a tty on USB
  bool IsFtdiChip() const { return usb.has_value() && driver == kFtdiDriver; }
};

// The serial ttys that sysfsRoot knows, ordered by name (ttyS2 before
// ttyS10): those on a device, without the consoles and pseudo-terminals,
// and without the ports that the serial core keeps for a UART it did not
// find.
std::vector<SerialTty> ListSerialTtys(const std::filesystem::path& sysfsRoot);

}  // namespace tty_facts
