// The Intel HEX text of a flash's contents, as this program writes it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Data records of 16 bytes at addresses that are multiples of 16, capital
// digits, CR LF line ends, then the end record. Rows that hold only 0xFF are
// left out. The bytes start at address 0 and fit in 16-bit addresses.
std::string HexImageText(std::span<const std::uint8_t> bytes);
