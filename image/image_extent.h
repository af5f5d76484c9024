// How much of the flash an image covers: what a user checking a file wants
// to know before the chip is touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/hex_image.h"

enum class ImageFormat { IntelHex, Binary };

struct ImageExtent {
  ImageFormat format = ImageFormat::IntelHex;
  std::size_t bytes = 0;  // data bytes the download writes
  unsigned first = 0;     // lowest and highest address written; 0 when none
  unsigned last = 0;

  friend bool operator==(const ImageExtent&, const ImageExtent&) = default;
};

ImageExtent ExtentOf(const HexImage& image);
ImageExtent ExtentOf(const std::vector<std::uint8_t>& image);
