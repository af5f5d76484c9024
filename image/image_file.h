#pragma once

#include <string>

#include "image/image_fault.h"

// The whole file, opened for reading only. Only regular files are read, so
// a device or a named pipe can never hang the program.
Checked<std::string> ReadImageFile(const std::string& path);
