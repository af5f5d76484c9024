#include "serial/tty_facts.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <tuple>

namespace tty_facts {
namespace {

namespace fs = std::filesystem;

// Devices are never nested this deeply below the root; the bound keeps a
// damaged tree from being walked for long.
constexpr int kMostLevels = 24;

// The serial core's port type of a UART it did not find (PORT_UNKNOWN).
constexpr char kNoUart[] = "0";

// The tty's own name, after following links such as /dev/serial/by-id/...
std::string TtyName(const std::string& devicePath) {
  std::error_code error;
  const fs::path followed = fs::weakly_canonical(devicePath, error);
  return (error ? fs::path(devicePath) : followed).filename().string();
}

// The tty's device and those above it, nearest first; none when sysfs
// knows no such tty or it is on no device (a console, a pseudo-terminal).
std::vector<fs::path> DevicesOf(const std::string& ttyName, const fs::path& sysfsRoot) {
  std::vector<fs::path> devices;
  if (ttyName.empty()) return devices;
  std::error_code error;
  const fs::path root = fs::canonical(sysfsRoot, error);
  if (error) return devices;
  fs::path node = fs::canonical(root / "class" / "tty" / ttyName / "device", error);
  if (error) return devices;
  for (int level = 0; level < kMostLevels && node != root && node.has_relative_path();
       ++level, node = node.parent_path()) {
    devices.push_back(node);
  }
  return devices;
}

// Drivers of the kernel's serial layers, which every tty of their kind has:
// the port and controller of serial-base (since Linux 6.5), and the
// usb-serial port, whose USB interface above names the chip's driver.
bool IsSerialLayer(const fs::path& driverLink) {
  // The link reads .../bus/<bus>/drivers/<name>.
  const std::string bus = driverLink.parent_path().parent_path().filename().string();
  return bus == "serial-base" || bus == "usb-serial";
}

std::string DriverOf(const std::vector<fs::path>& devices) {
  for (const fs::path& device : devices) {
    std::error_code error;
    const fs::path driver = fs::read_symlink(device / "driver", error);
    if (!error && !IsSerialLayer(driver)) return driver.filename().string();
  }
  return {};
}

std::optional<std::string> ReadWord(const fs::path& file) {
  std::ifstream in(file);
  std::string word;
  if (!(in >> word)) return std::nullopt;
  return word;
}

std::optional<int> ReadNumber(const fs::path& file, int base) {
  const auto text = ReadWord(file);
  if (!text) return std::nullopt;
  try {
    std::size_t used = 0;
    const int value = std::stoi(*text, &used, base);
    if (used != text->size()) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// A USB adapter's tty sits on the interface it belongs to (the usb-serial
// port below it, or the interface itself for a modem-class adapter), and
// the interface on the USB device.
std::optional<UsbSerialLocation> UsbLocationOf(const std::vector<fs::path>& devices) {
  auto at = devices.begin();
  UsbSerialLocation location;
  for (; at != devices.end(); ++at) {
    if (const auto number = ReadNumber(*at / "bInterfaceNumber", 16)) {
      location.interfaceNumber = *number;
      break;
    }
  }
  if (at == devices.end()) return std::nullopt;
  for (++at; at != devices.end(); ++at) {
    const auto bus = ReadNumber(*at / "busnum", 10);
    const auto address = ReadNumber(*at / "devnum", 10);
    if (bus && address) {
      location.bus = *bus;
      location.address = *address;
      location.driver = DriverOf(devices);
      return location;
    }
  }
  return std::nullopt;
}

// sysfs writes the '/' of a device's name as '!'.
std::string DeviceFile(std::string ttyName) {
  std::replace(ttyName.begin(), ttyName.end(), '!', '/');
  return "/dev/" + ttyName;
}

// The name without its closing number, then the number: ttyS2 before ttyS10.
auto NameOrder(const std::string& name) {
  const std::size_t digits = name.find_last_not_of("0123456789") + 1;
  return std::tuple(std::string_view(name).substr(0, digits), name.size() - digits,
                    std::string_view(name).substr(digits));
}

// "COM1" to "COM9"; empty for any other name.
std::string ComDevicePath(std::string_view deviceName) {
  if (deviceName.size() != 4 || deviceName.substr(0, 3) != "COM") return {};
  const char digit = deviceName[3];
  if (digit < '1' || digit > '9') return {};
  const std::string variable = "FLASH89_" + std::string(deviceName);
  if (const char* chosen = std::getenv(variable.c_str()); chosen != nullptr && *chosen != '\0') {
    return chosen;
  }
  return "/dev/ttyS" + std::to_string(digit - '1');
}

}  // namespace

std::string PortDevicePath(std::string_view portName) {
  if (!portName.starts_with('/')) return ComDevicePath(portName);
  // A path that the system would cut short names another file.
  if (portName.find('\0') != std::string_view::npos) return {};
  return std::string(portName);
}

std::string TtyDriverName(const std::string& devicePath, const fs::path& sysfsRoot) {
  return DriverOf(DevicesOf(TtyName(devicePath), sysfsRoot));
}

std::optional<UsbSerialLocation> LocateUsbSerial(const std::string& devicePath,
                                                 const fs::path& sysfsRoot) {
  return UsbLocationOf(DevicesOf(TtyName(devicePath), sysfsRoot));
}

std::vector<SerialTty> ListSerialTtys(const fs::path& sysfsRoot) {
  std::vector<SerialTty> ttys;
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator entry(sysfsRoot / "class" / "tty", error), end;
       !error && entry != end; entry.increment(error)) {
    if (ReadWord(entry->path() / "type") == kNoUart) continue;
    names.push_back(entry->path().filename().string());
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return NameOrder(a) < NameOrder(b); });
  for (const std::string& name : names) {
    const std::vector<fs::path> devices = DevicesOf(name, sysfsRoot);
    if (devices.empty()) continue;
    ttys.push_back({DeviceFile(name), DriverOf(devices), UsbLocationOf(devices)});
  }
  return ttys;
}

}  // namespace tty_facts
