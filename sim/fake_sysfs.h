// A sysfs tree in a temporary folder, holding only the ttys a test adds,
// for the code that finds the USB device behind a tty.
#pragma once

#include <string>

namespace fake_sysfs {

// An empty tree; SysfsRoot() names it from now on. It is removed when the
// process ends, however it ends.
void Reset();
std::string Root();

// A tty on a USB serial adapter: the interfaceNumber-th interface of the
// device at bus and address, served by driver ("ftdi_sio").
void AddUsbSerial(const std::string& ttyName, int bus, int address, int interfaceNumber,
                  const std::string& driver);

// A tty that is not on USB, such as a built-in port; without a UART found,
// one of the ports that the serial core keeps whether or not it has one.
void AddPlainTty(const std::string& ttyName, bool uartFound = true);

// A tty on no device, such as a console.
void AddVirtualTty(const std::string& ttyName);

}  // namespace fake_sysfs
