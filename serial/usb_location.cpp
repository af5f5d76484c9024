#include "serial/usb_location.h"

#include <filesystem>
#include <fstream>

#include "serial/sysfs_driver.h"

namespace fs = std::filesystem;

namespace {

std::optional<int> ReadNumber(const fs::path& file, int base) {
  std::ifstream in(file);
  std::string text;
  if (!(in >> text)) return std::nullopt;
  try {
    std::size_t used = 0;
    const int value = std::stoi(text, &used, base);
    if (used != text.size()) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<UsbSerialLocation> LocateUsbSerial(const std::string& ttyPath,
                                                 const std::string& sysfsRoot) {
  std::error_code error;
  const fs::path tty = fs::weakly_canonical(ttyPath, error);
  if (error || tty.filename().empty()) return std::nullopt;
  // The tty's device is the USB serial port, a child of the interface it
  // belongs to, which is a child of the USB device.
  const fs::path port =
      fs::canonical(fs::path(sysfsRoot) / "class/tty" / tty.filename() / "device", error);
  if (error) return std::nullopt;
  UsbSerialLocation location;
  location.driver = device_seam::TtyDriverName(sysfsRoot, ttyPath);
  bool interfaceFound = false;
  const fs::path root = fs::canonical(sysfsRoot, error);
  for (fs::path at = port; !at.empty() && at != root && at != at.root_path();
       at = at.parent_path()) {
    if (!interfaceFound) {
      if (const auto number = ReadNumber(at / "bInterfaceNumber", 16)) {
        location.interfaceNumber = *number;
        interfaceFound = true;
      }
      continue;
    }
    const auto bus = ReadNumber(at / "busnum", 10);
    const auto address = ReadNumber(at / "devnum", 10);
    if (bus && address) {
      location.bus = *bus;
      location.address = *address;
      return location;
    }
  }
  return std::nullopt;
}
