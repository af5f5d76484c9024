// Test programs that link the fake sysfs look for ttys in its tree.
#include "serial/usb_location.h"
#include "sim/fake_sysfs.h"

std::string SysfsRoot() { return fake_sysfs::Root(); }
