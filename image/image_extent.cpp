#include "image/image_extent.h"

#include <algorithm>

ImageExtent ExtentOf(const HexImage& image) {
  ImageExtent extent{.format = ImageFormat::IntelHex};
  for (const HexRecord& record : image.records) {
    if (record.data.empty()) continue;
    // A checked record lies inside the flash, so it does not wrap.
    const unsigned last = record.address + static_cast<unsigned>(record.data.size()) - 1;
    extent.first =
        extent.bytes == 0 ? record.address : std::min(extent.first, unsigned{record.address});
    extent.last = extent.bytes == 0 ? last : std::max(extent.last, last);
    extent.bytes += record.data.size();
  }
  return extent;
}

ImageExtent ExtentOf(const std::vector<std::uint8_t>& image) {
  ImageExtent extent{.format = ImageFormat::Binary, .bytes = image.size()};
  if (!image.empty()) extent.last = static_cast<unsigned>(image.size() - 1);
  return extent;
}
