// Where a tty sits on the USB bus, found through sysfs: which device (bus
// and address) and which of its interfaces, and the kernel driver serving it.
#pragma once

#include <optional>
#include <string>

struct UsbSerialLocation {
  int bus = 0;
  int address = 0;
  int interfaceNumber = 0;  // the channel of a multi-channel chip
  std::string driver;       // "ftdi_sio" for an FTDI chip (TtyDriverName)
};

// The tty's own name is taken after following symbolic links, so that a
// /dev/serial/by-id/... path works. Nothing when the tty is not on USB.
std::optional<UsbSerialLocation> LocateUsbSerial(const std::string& ttyPath,
                                                 const std::string& sysfsRoot);

// The root of sysfs: "/sys", or a tree that a test has built.
std::string SysfsRoot();
