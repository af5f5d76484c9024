#include "serial/sysfs_driver.h"

namespace device_seam {
namespace {

namespace fs = std::filesystem;

// Devices below a tty are never nested this deeply; the bound keeps a
// damaged tree from being walked for long.
constexpr int kMostLevels = 12;

// Drivers of the kernel's serial layers, which every tty of their kind has:
// the port and controller of serial-base (since Linux 6.5), and the
// usb-serial port, whose USB interface above names the chip's driver.
bool IsSerialLayer(const fs::path& driverLink) {
  // The link reads .../bus/<bus>/drivers/<name>.
  const std::string bus = driverLink.parent_path().parent_path().filename().string();
  return bus == "serial-base" || bus == "usb-serial";
}

}  // namespace

std::string TtyDriverName(const fs::path& sysfsRoot, const std::string& devicePath) {
  std::error_code error;
  fs::path device = fs::canonical(devicePath, error);
  if (error) device = devicePath;
  const std::string tty = device.filename().string();
  if (tty.empty()) return {};
  const fs::path root = fs::canonical(sysfsRoot, error);
  if (error) return {};
  fs::path node = fs::canonical(root / "class" / "tty" / tty / "device", error);
  if (error) return {};
  for (int level = 0; level < kMostLevels && node != root && node.has_relative_path();
       ++level, node = node.parent_path()) {
    const fs::path driver = fs::read_symlink(node / "driver", error);
    if (error || IsSerialLayer(driver)) continue;
    return driver.filename().string();
  }
  return {};
}

}  // namespace device_seam
