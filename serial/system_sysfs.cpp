#include "serial/usb_location.h"

std::string SysfsRoot() { return "/sys"; }
