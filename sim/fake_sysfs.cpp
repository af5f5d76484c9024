#include "sim/fake_sysfs.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace fake_sysfs {
namespace {

// One tree per process, removed when it ends.
struct Tree {
  fs::path root;
  ~Tree() {
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
  }
};
Tree tree;

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << '\n';
}

}  // namespace

void Reset() {
  if (tree.root.empty()) {
    tree.root = fs::temp_directory_path() / ("flash89-sysfs-" + std::to_string(::getpid()));
  }
  std::error_code ignored;
  fs::remove_all(tree.root, ignored);
  fs::create_directories(tree.root / "class/tty");
}

std::string Root() { return tree.root.string(); }

void AddUsbSerial(const std::string& ttyName, int bus, int address, int interfaceNumber,
                  const std::string& driver) {
  const std::string device = std::to_string(bus) + "-" + std::to_string(address);
  const fs::path usb = tree.root / "devices/pci0000:00/usb" / std::to_string(bus) / device;
  Write(usb / "busnum", std::to_string(bus));
  Write(usb / "devnum", std::to_string(address));
  Write(usb / "idVendor", "0403");
  const fs::path interface = usb / (device + ":1." + std::to_string(interfaceNumber));
  char number[8];
  std::snprintf(number, sizeof number, "%02x", interfaceNumber);
  Write(interface / "bInterfaceNumber", number);
  const fs::path port = interface / ttyName;
  fs::create_directories(port);
  // As the kernel has it: the usb-serial layer's port and, above it, the
  // USB interface, each bound to the chip's driver.
  const fs::path serialDriver = tree.root / "bus/usb-serial/drivers" / driver;
  const fs::path usbDriver = tree.root / "bus/usb/drivers" / driver;
  fs::create_directories(serialDriver);
  fs::create_directories(usbDriver);
  fs::create_symlink(serialDriver, port / "driver");
  fs::create_symlink(usbDriver, interface / "driver");
  const fs::path tty = tree.root / "class/tty" / ttyName;
  fs::create_directories(tty);
  fs::create_directory_symlink(port, tty / "device");
}

void AddPlainTty(const std::string& ttyName, bool uartFound) {
  const fs::path port = tree.root / "devices/platform/serial8250" / ttyName;
  fs::create_directories(port);
  const fs::path driver = tree.root / "bus/platform/drivers/serial8250";
  fs::create_directories(driver);
  std::error_code alreadyThere;
  fs::create_symlink(driver, port.parent_path() / "driver", alreadyThere);
  const fs::path tty = tree.root / "class/tty" / ttyName;
  fs::create_directories(tty);
  fs::create_directory_symlink(port, tty / "device");
  // The serial core's port type: a 16550A, or none for a port it keeps
  // without a UART.
  Write(tty / "type", uartFound ? "4" : "0");
}

void AddVirtualTty(const std::string& ttyName) {
  fs::create_directories(tree.root / "class/tty" / ttyName);
}

}  // namespace fake_sysfs
