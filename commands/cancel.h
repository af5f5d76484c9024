// Stopping a running command from outside it, from a signal handler say:
// RequestCancel stops it before its next instruction, with the lines
// released, and it ends with the fault PortFaultKind::Cancelled. The cancel
// is the programming sequences' own.
#pragma once

#include "isp/cancel.h"
