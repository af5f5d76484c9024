// The one root of sysfs in the programs; test programs link their own tree
// in its place.
#include "serial/tty_facts.h"

std::string tty_facts::SysfsRoot() { return "/sys"; }
