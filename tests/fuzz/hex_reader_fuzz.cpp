// libFuzzer target: the HEX reader takes any bytes without crashing, hanging
// or reading out of bounds, and what it accepts always fits the flash.
#include <bitset>
#include <cstdint>
#include <string_view>

#include "image/hex_image.h"
#include "image/image_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  HexImage image;
  try {
    image = ParseHexImage(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const ImageContentError&) {
    return 0;
  }
  // Accepted: data records, then exactly one empty record that ended it.
  if (image.records.empty() || !image.records.back().data.empty()) __builtin_trap();
  std::bitset<kFlashSize> used;
  for (std::size_t i = 0; i + 1 < image.records.size(); ++i) {
    const HexRecord& record = image.records[i];
    if (record.data.empty()) __builtin_trap();
    for (std::size_t k = 0; k < record.data.size(); ++k) {
      const std::size_t address = record.address + k;
      if (address >= kFlashSize || used.test(address)) __builtin_trap();
      used.set(address);
    }
  }
  return 0;
}
