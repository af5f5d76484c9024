// An Intel HEX file, read and checked as a whole before anything is sent.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

struct HexRecord {
  std::uint16_t address = 0;
  std::vector<std::uint8_t> data;  // empty for the record that ends the file
};

// The data records in file order, then the record that ends the file.
struct HexImage {
  std::vector<HexRecord> records;
};

inline constexpr unsigned kFlashSize = 12288;

// Lines end at CR LF, CR or LF; 0x1A ends the text. The first record of
// length zero ends the file. Throws ImageContentError naming the line and
// the fault ("Zeile 7: Prüfsummenfehler").
HexImage ParseHexImage(std::string_view text);
