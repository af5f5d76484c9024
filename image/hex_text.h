#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The byte written by the first two characters of text. Upper and lower
// case digits both count; a missing character counts as 0.
std::uint8_t HexToByte(std::string_view text);

// Two capital hex digits with a leading zero: 171 gives "AB".
std::string ByteToHex(unsigned value);

// "3000" for 0x3000: the way addresses appear in the log and in messages.
std::string WordToHex(unsigned value);

bool IsHexDigit(char c);
