#include "serial/device_path.h"

#include <cstdlib>

namespace device_seam {

std::string DevicePathFor(std::string_view deviceName) {
  if (deviceName.size() != 4 || deviceName.substr(0, 3) != "COM") return {};
  const char digit = deviceName[3];
  if (digit < '1' || digit > '9') return {};
  const std::string variable = "FLASH89_" + std::string(deviceName);
  if (const char* chosen = std::getenv(variable.c_str()); chosen != nullptr && *chosen != '\0') {
    return chosen;
  }
  return "/dev/ttyS" + std::to_string(digit - '1');
}

}  // namespace device_seam
