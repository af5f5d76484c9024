// Numbers as the chip model's violations and report write them.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace chip_text {

inline std::string Hex2(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

inline std::string Hex4(unsigned value) { return Hex2(value >> 8) + Hex2(value); }

inline std::string Bytes(const std::array<std::uint8_t, 4>& b) {
  return Hex2(b[0]) + " " + Hex2(b[1]) + " " + Hex2(b[2]) + " " + Hex2(b[3]);
}

// The low bits of value, most significant first: "1010".
inline std::string Bits(unsigned value, int count) {
  std::string bits;
  for (int bit = count - 1; bit >= 0; --bit) bits += ((value >> bit) & 1) != 0 ? '1' : '0';
  return bits;
}

}  // namespace chip_text
