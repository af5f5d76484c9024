#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "image/image_fault.h"

// Writes contents to path whole or not at all: into a new file beside it,
// flushed to the disk and closed, which then replaces path. On any fault
// the new file is removed and a file that was at path is left as it was.
// A WriteError fault names path.
std::optional<ImageFault> WriteWholeFile(const std::string& path, std::string_view contents);
