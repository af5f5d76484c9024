#include "image/hex_text.h"

namespace {

std::uint8_t DigitValue(char c) {
  if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
  // Digits and capitals; anything else by the same arithmetic, unchecked.
  auto value = static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) - 48);
  if (value > 9) value = static_cast<std::uint8_t>(value - 7);
  return value;
}

char Digit(unsigned value) { return static_cast<char>(48 + value + (value > 9 ? 7 : 0)); }

}  // namespace

std::uint8_t HexToByte(std::string_view text) {
  const char high = text.size() > 0 ? text[0] : '0';
  const char low = text.size() > 1 ? text[1] : '0';
  return static_cast<std::uint8_t>(DigitValue(high) * 16 + DigitValue(low));
}

std::string ByteToHex(unsigned value) {
  value &= 0xFF;
  return {Digit(value / 16), Digit(value % 16)};
}

std::string WordToHex(unsigned value) { return ByteToHex(value >> 8) + ByteToHex(value); }

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
