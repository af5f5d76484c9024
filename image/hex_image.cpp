#include "image/hex_image.h"

#include <bitset>

#include "image/hex_text.h"
#include "image/image_file.h"

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

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text.substr(0, text.find('\x1A'))) {
    if (text_.starts_with(kByteOrderMark)) text_.remove_prefix(kByteOrderMark.size());
  }

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

// Thrown inside the reader only, and returned as its result.
struct Refusal {
  ImageFault fault;
};

[[noreturn]] void Refuse(ImageFaultKind kind, int line, unsigned address = 0, int type = 0,
                         ImageTarget target = ImageTarget::Flash) {
  throw Refusal{
      {.kind = kind, .line = line, .address = address, .recordType = type, .target = target}};
}

// The record's bytes after the colon: length, address, type, data, checksum.
std::vector<std::uint8_t> Decode(std::string_view line, int number) {
  if (line.front() != ':') Refuse(ImageFaultKind::MissingColon, number);
  for (const char c : line.substr(1)) {
    if (!IsHexDigit(c)) Refuse(ImageFaultKind::InvalidCharacter, number);
  }
  if (line.size() < kShortestRecord) Refuse(ImageFaultKind::RecordTooShort, number);
  if ((line.size() - 1) % 2 != 0) Refuse(ImageFaultKind::OddDigitCount, number);
  std::vector<std::uint8_t> bytes;
  bytes.reserve((line.size() - 1) / 2);
  for (std::size_t i = 1; i < line.size(); i += 2) bytes.push_back(HexToByte(line.substr(i, 2)));
  const std::size_t expected = bytes[0] + 5u;
  if (bytes.size() < expected) Refuse(ImageFaultKind::RecordTooShort, number);
  if (bytes.size() > expected) Refuse(ImageFaultKind::RecordTooLong, number);
  unsigned sum = 0;
  for (const std::uint8_t b : bytes) sum += b;
  if ((sum & 0xFF) != 0) Refuse(ImageFaultKind::ChecksumError, number);
  return bytes;
}

// After the end record only what reads as a data record with data matters,
// damaged or not: text that is no record, and further end or address
// records, are ignored.
bool LooksLikeDataRecord(std::string_view line) {
  constexpr std::size_t kHeader = 9;  // ":" LL AAAA TT
  if (line.size() < kHeader || line.front() != ':') return false;
  for (const char c : line.substr(1, kHeader - 1)) {
    if (!IsHexDigit(c)) return false;
  }
  return HexToByte(line.substr(7, 2)) == kData && HexToByte(line.substr(1, 2)) != 0;
}

class Coverage {
 public:
  explicit Coverage(ImageTarget target) : target_(target) {}

  void Claim(int line, unsigned start, std::size_t count) {
    for (unsigned address = start; address < start + count; ++address) {
      if (address >= SizeOf(target_)) {
        Refuse(ImageFaultKind::AddressOutsideFlash, line, address, 0, target_);
      }
      if (used_.test(address)) Refuse(ImageFaultKind::AddressUsedTwice, line, address);
      used_.set(address);
    }
  }

 private:
  ImageTarget target_;
  std::bitset<kFlashSize> used_;  // the largest target
};

HexImage Parse(std::string_view text, ImageTarget target) {
  HexImage image;
  Coverage coverage(target);
  LineReader reader(text);
  std::string_view line;
  bool ended = false;
  while (reader.Next(line)) {
    line = TrimTrailingBlanks(line);
    if (line.empty()) continue;
    const int number = reader.Number();
    if (ended) {
      if (LooksLikeDataRecord(line)) Refuse(ImageFaultKind::DataAfterEndRecord, number);
      continue;
    }
    const std::vector<std::uint8_t> bytes = Decode(line, number);
    const std::size_t length = bytes[0];
    const auto address = static_cast<std::uint16_t>((bytes[1] << 8) | bytes[2]);
    const std::uint8_t type = bytes[3];
    switch (type) {
      case kData:
        // An empty data record carries nothing; only the end record ends.
        if (length == 0) continue;
        coverage.Claim(number, address, length);
        image.records.push_back({address, {bytes.begin() + 4, bytes.end() - 1}});
        continue;
      case kEndOfFile:
        if (length != 0) Refuse(ImageFaultKind::EndRecordWithData, number);
        image.records.push_back({address, {}});
        ended = true;
        continue;
      case kExtendedSegmentAddress:
      case kExtendedLinearAddress:
        if (length != 2) Refuse(ImageFaultKind::WrongLengthForType, number, 0, type);
        if (bytes[4] != 0 || bytes[5] != 0) {
          Refuse(ImageFaultKind::AddressBaseOutsideFlash, number,
                 static_cast<unsigned>((bytes[4] << 8) | bytes[5]), 0, target);
        }
        continue;
      case kStartSegmentAddress:
      case kStartLinearAddress:
        if (length != 4) Refuse(ImageFaultKind::WrongLengthForType, number, 0, type);
        continue;  // a start address means nothing to a chip that starts at 0
      default: Refuse(ImageFaultKind::UnknownRecordType, number, 0, type);
    }
  }
  if (!ended) throw Refusal{{.kind = ImageFaultKind::MissingEndRecord}};
  return image;
}

}  // namespace

Checked<HexImage> ParseHexImage(std::string_view text, ImageTarget target) {
  try {
    return Parse(text, target);
  } catch (const Refusal& refusal) {
    return refusal.fault;
  }
}

Checked<HexImage> ReadHexImage(const std::string& path, ImageTarget target) {
  Checked<std::string> text = ReadImageFile(path);
  if (const auto* fault = std::get_if<ImageFault>(&text)) return *fault;
  return ParseHexImage(std::get<std::string>(text), target);
}
