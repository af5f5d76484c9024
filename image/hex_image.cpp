#include "image/hex_image.h"

#include <bitset>
#include <string>

#include "image/hex_text.h"
#include "image/image_error.h"

namespace {

enum RecordType : std::uint8_t {
  kData = 0x00,
  kEndOfFile = 0x01,
  kExtendedSegmentAddress = 0x02,
  kStartSegmentAddress = 0x03,
  kExtendedLinearAddress = 0x04,
  kStartLinearAddress = 0x05,
};

// ":" LL AAAA TT and the checksum CC.
constexpr std::size_t kShortestRecord = 11;

class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text.substr(0, text.find('\x1A'))) {}

  bool Next(std::string_view& line) {
    if (position_ >= text_.size()) return false;
    const std::size_t end = text_.find_first_of("\r\n", position_);
    if (end == std::string_view::npos) {
      line = text_.substr(position_);
      position_ = text_.size();
    } else {
      line = text_.substr(position_, end - position_);
      position_ =
          end + ((text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n') ? 2 : 1);
    }
    ++number_;
    return true;
  }

  int Number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
  int number_ = 0;
};

std::string_view TrimTrailingBlanks(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return line;
}

class RecordChecker {
 public:
  explicit RecordChecker(int lineNumber) : line_(lineNumber) {}

  [[noreturn]] void Fail(const std::string& fault) const {
    throw ImageContentError("Zeile " + std::to_string(line_) + ": " + fault);
  }

  // The record's bytes after the colon: length, address, type, data, checksum.
  std::vector<std::uint8_t> Decode(std::string_view line) const {
    if (line.front() != ':') Fail("Doppelpunkt fehlt");
    for (const char c : line.substr(1)) {
      if (!IsHexDigit(c)) Fail("ungültiges Zeichen");
    }
    if (line.size() < kShortestRecord) Fail("Datensatz zu kurz");
    if ((line.size() - 1) % 2 != 0) Fail("ungerade Anzahl Ziffern");
    std::vector<std::uint8_t> bytes;
    bytes.reserve((line.size() - 1) / 2);
    for (std::size_t i = 1; i < line.size(); i += 2) bytes.push_back(HexToByte(line.substr(i, 2)));
    const std::size_t expected = bytes[0] + 5u;
    if (bytes.size() < expected) Fail("Datensatz zu kurz");
    if (bytes.size() > expected) Fail("Datensatz zu lang");
    unsigned sum = 0;
    for (const std::uint8_t b : bytes) sum += b;
    if ((sum & 0xFF) != 0) Fail("Prüfsummenfehler");
    return bytes;
  }

 private:
  int line_;
};

class FlashCoverage {
 public:
  void Claim(const RecordChecker& checker, unsigned start, std::size_t count) {
    for (unsigned address = start; address < start + count; ++address) {
      if (address >= kFlashSize) {
        checker.Fail("Adresse " + WordToHex(address) + " liegt außerhalb des Flash-Speichers");
      }
      if (used_.test(address)) checker.Fail("Adresse " + WordToHex(address) + " doppelt belegt");
      used_.set(address);
    }
  }

 private:
  std::bitset<kFlashSize> used_;
};

}  // namespace

HexImage ParseHexImage(std::string_view text) {
  HexImage image;
  FlashCoverage coverage;
  LineReader reader(text);
  std::string_view line;
  while (reader.Next(line)) {
    line = TrimTrailingBlanks(line);
    if (line.empty()) continue;
    const RecordChecker checker(reader.Number());
    const std::vector<std::uint8_t> bytes = checker.Decode(line);
    const std::size_t length = bytes[0];
    const auto address = static_cast<std::uint16_t>((bytes[1] << 8) | bytes[2]);
    const std::uint8_t type = bytes[3];
    const auto wrongLength = [&] { checker.Fail("falsche Länge für Satztyp " + ByteToHex(type)); };
    switch (type) {
      case kData:
        if (length == 0) break;
        coverage.Claim(checker, address, length);
        image.records.push_back({address, {bytes.begin() + 4, bytes.end() - 1}});
        continue;
      case kEndOfFile:
        if (length != 0) checker.Fail("Endesatz mit Daten");
        break;
      case kExtendedSegmentAddress:
      case kExtendedLinearAddress:
        if (length != 2) wrongLength();
        if (bytes[4] != 0 || bytes[5] != 0) {
          checker.Fail("Adressbasis " + WordToHex((bytes[4] << 8) | bytes[5]) +
                       " liegt außerhalb des Flash-Speichers");
        }
        continue;
      case kStartSegmentAddress:
      case kStartLinearAddress:
        if (length != 4) wrongLength();
        continue;  // a start address means nothing to a chip that starts at 0
      default:
        checker.Fail("unbekannter Satztyp " + ByteToHex(type));
    }
    // The first record of length zero ends the file.
    image.records.push_back({address, {}});
    return image;
  }
  throw ImageContentError("Endesatz fehlt");
}
