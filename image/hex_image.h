// An Intel HEX file, read and checked as a whole before anything is sent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_fault.h"

struct HexRecord {
  std::uint16_t address = 0;
  std::vector<std::uint8_t> data;  // empty for the record that ends the file
};

// The data records in file order, then the record that ends the file.
struct HexImage {
  std::vector<HexRecord> records;
};

// Lines end at CR LF, CR or LF; 0x1A ends the text, and a UTF-8 byte-order
// mark at the start is skipped. The end record (type 01) ends the image; a
// data record after it is refused, so that of two files joined into one
// neither is half written. Faults name their line.
// Addresses run from 0 to the end of the target.
Checked<HexImage> ParseHexImage(std::string_view text, ImageTarget target = ImageTarget::Flash);

// The file at path, read and parsed.
Checked<HexImage> ReadHexImage(const std::string& path, ImageTarget target = ImageTarget::Flash);
