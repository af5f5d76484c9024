// Loading a DLL that Windows or a driver installs, from the system
// directory only: never from the program's folder or the current one, so
// that a DLL planted there under the same name cannot run.
#pragma once

#include <windows.h>

// Null when there is no such DLL in the system directory, or name is a path.
HMODULE LoadSystemLibrary(const char* name);
