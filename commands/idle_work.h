// Work that a front end runs inside a command's long waits, such as
// repainting its window: WaitIdleWork, installed with ScopedWaitIdleWork.
// The waits fix their end before it runs.
#pragma once

#include "serial/rezero.h"
