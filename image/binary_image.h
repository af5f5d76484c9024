#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_fault.h"

// A raw image, written from address 0: the file at path, refused when it is
// larger than its target.
Checked<std::vector<std::uint8_t>> ReadBinaryImage(const std::string& path,
                                                   ImageTarget target = ImageTarget::Flash);
