#pragma once

#include <string>

// Flash holds 12288 bytes; no image file of this chip comes near this.
inline constexpr std::size_t kMaxImageFileSize = 1 << 20;

// The whole file, read for reading only. Only regular files are read, so a
// device or a named pipe can never hang the window. Throws ImageFileError.
std::string ReadImageFile(const std::string& path);
