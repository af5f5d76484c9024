// Which kernel driver serves a tty, read from sysfs, so that a message can
// name the adapter behind a port.
#pragma once

#include <filesystem>
#include <string>

namespace device_seam {

// The driver behind the tty that devicePath names (symbolic links such as
// /dev/serial/by-id/... are followed): "serial8250", "ch341", "ftdi_sio",
// "pl2303", "cp210x", "cdc_acm", ... Empty when sysfsRoot (normally /sys)
// knows no such tty. The kernel's own serial layers between the tty and its
// hardware (serial-base, usb-serial) are looked through.
std::string TtyDriverName(const std::filesystem::path& sysfsRoot, const std::string& devicePath);

}  // namespace device_seam
