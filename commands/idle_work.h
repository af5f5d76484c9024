// Work that a front end runs inside a command's long waits, such as
// repainting its window; the command's waits fix their end before it runs.
#pragma once

#include "serial/rezero.h"

using CommandIdleWork = WaitIdleWork;
using ScopedCommandIdleWork = ScopedWaitIdleWork;
