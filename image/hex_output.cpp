#include "image/hex_output.h"

#include <algorithm>

#include "image/hex_text.h"

namespace {

constexpr std::size_t kRowSize = 16;

// CR LF, as in DOS text: every reader of Intel HEX takes it, and some
// older ones end no line at a lone LF.
constexpr const char* kLineEnd = "\r\n";

std::string Record(unsigned address, unsigned type, std::span<const std::uint8_t> data) {
  std::string line = ":";
  line += ByteToHex(static_cast<unsigned>(data.size()));
  line += WordToHex(address);
  line += ByteToHex(type);
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + address + type;
  for (const std::uint8_t b : data) {
    line += ByteToHex(b);
    sum += b;
  }
  return line + ByteToHex(0x100 - (sum & 0xFF)) + kLineEnd;
}

}  // namespace

// A row of 0xFF is what an erased cell reads, and every download erases the
// chip first, so leaving such rows out writes back the same flash. It keeps
// the file to the program the chip holds, and writing it back skips the
// 5 ms per byte that rewriting erased cells would cost: an empty 12 KB chip
// takes a minute. A row with any other byte is written whole.
std::string HexImageText(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::size_t start = 0; start < bytes.size(); start += kRowSize) {
    const auto row = bytes.subspan(start, std::min(kRowSize, bytes.size() - start));
    if (std::all_of(row.begin(), row.end(), [](std::uint8_t b) { return b == 0xFF; })) continue;
    text += Record(static_cast<unsigned>(start), 0x00, row);
  }
  return text + Record(0, 0x01, {});
}
