// The check command: an image file read and checked by the readers the
// downloads use, without a port.
#pragma once

#include <string>

#include "image/image_extent.h"
#include "image/image_fault.h"

// By the name: .hex and .ihx are Intel HEX, .bin is binary (any case).
// Other names are Intel HEX when the file starts with ':', else binary.
ImageFormat FormatFor(const std::string& path);

Checked<ImageExtent> CheckImage(const std::string& path, ImageFormat format);
