// libFuzzer target: the HEX reader takes any bytes without crashing, hanging
// or reading out of bounds, and what it accepts always fits the flash.
#include <bitset>
#include <cstdint>
#include <string_view>

#include "image/hex_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Checked<HexImage> result =
      ParseHexImage(std::string_view(reinterpret_cast<const char*>(data), size));
  if (const auto* fault = std::get_if<ImageFault>(&result)) {
    // A line fault names a line of the text.
    if (fault->line < 0 || static_cast<std::size_t>(fault->line) > size + 1) __builtin_trap();
    return 0;
  }
  const HexImage& image = std::get<HexImage>(result);
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
