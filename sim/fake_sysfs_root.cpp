// Test programs that link the fake sysfs look for ttys in its tree.
#include "serial/tty_facts.h"
#include "sim/fake_sysfs.h"

std::string tty_facts::SysfsRoot() { return fake_sysfs::Root(); }
