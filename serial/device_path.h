#pragma once

#include <string>
#include <string_view>

namespace device_seam {

// The device file behind "COM1", "COM2", ...: FLASH89_COMn when it is set,
// otherwise /dev/ttyS(n-1). Empty for a name that is no COM port.
std::string DevicePathFor(std::string_view deviceName);

}  // namespace device_seam
