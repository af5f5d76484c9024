// Which kind of image a file holds, by one rule for every command: the one
// that checks a file, the downloads, verify and read.
#pragma once

#include <string>

#include "image/image_extent.h"
#include "image/image_fault.h"

// By the name: .hex and .ihx are Intel HEX, .bin binary (any case). A file
// with another name is Intel HEX when its text starts with ':' (after a
// UTF-8 byte order mark), else binary; one that cannot be read is taken as
// Intel HEX, whose reader then names the fault.
ImageFormat ImageFormatOf(const std::string& path);

// For a file still to be written only the name can tell: any other name is
// refused, so that a command can refuse it before it reads the chip.
Checked<ImageFormat> ImageFormatForNewFile(const std::string& path);

// The file read and checked whole, as the downloads read it, without a port.
Checked<ImageExtent> CheckImage(const std::string& path, ImageFormat format,
                                ImageTarget target = ImageTarget::Flash);
