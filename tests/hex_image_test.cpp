// Reading Intel HEX: what is accepted, and how each kind of fault is named.
#include "image/hex_image.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using K = ImageFaultKind;

// The fault, or a kind that no fault has for an accepted text.
std::optional<ImageFault> FaultOf(const std::string& text) {
  const Checked<HexImage> result = ParseHexImage(text);
  if (const auto* fault = std::get_if<ImageFault>(&result)) return *fault;
  return std::nullopt;
}

ImageFault At(K kind, int line, unsigned address = 0, int type = 0) {
  return {.kind = kind, .line = line, .address = address, .recordType = type};
}

const ImageFault kNoEnd{.kind = K::MissingEndRecord};

HexImage Accepted(const std::string& text) {
  Checked<HexImage> result = ParseHexImage(text);
  EXPECT_TRUE(std::holds_alternative<HexImage>(result)) << text;
  return std::holds_alternative<HexImage>(result) ? std::get<HexImage>(result) : HexImage{};
}

}  // namespace

TEST(HexImageReading, DataRecordsThenTheEndRecord) {
  const HexImage image = Accepted(":0300000002003BC0\r\n:00000001FF\r\n");
  ASSERT_EQ(image.records.size(), 2u);
  EXPECT_EQ(image.records[0].address, 0);
  EXPECT_EQ(image.records[0].data, (std::vector<std::uint8_t>{0x02, 0x00, 0x3B}));
  EXPECT_TRUE(image.records[1].data.empty());
}

TEST(HexImageReading, AddressBaseAndStartRecordsWriteNothing) {
  const HexImage image = Accepted(
      ":020000040000FA\n:020000020000FC\n:0400000300000000F9\n:0400000500000000F7\n"
      ":01001000AA45\n:00000001FF\n");
  ASSERT_EQ(image.records.size(), 2u);
  EXPECT_EQ(image.records[0].address, 0x10);
}

TEST(HexImageReading, TextAfterTheEndIsIgnoredButDataIsRefused) {
  EXPECT_EQ(FaultOf(":00000001FF\ngarbage\n"), std::nullopt);
  EXPECT_EQ(FaultOf(":00000001FF\x1A:zz\n"), std::nullopt);
  EXPECT_EQ(FaultOf(":01000000AA55\n\x1A:00000001FF\n"), kNoEnd);
  EXPECT_EQ(FaultOf(":00000001FF\n:00000001FF\n:020000040000FA\n:00001000F0\n"), std::nullopt);
  EXPECT_EQ(FaultOf(":00000001FF\n\n:01000000AA55\n"), At(K::DataAfterEndRecord, 3));
  // Damaged or not: a second file's data must not be dropped unnoticed.
  EXPECT_EQ(FaultOf(":00000001FF\n:01000000AA00\n"), At(K::DataAfterEndRecord, 2));
}

TEST(HexImageReading, EmptyDataRecordIsSkippedAndAByteOrderMarkIgnored) {
  const HexImage image = Accepted("\xEF\xBB\xBF:0000000000\n:01001000AA45\n:00000001FF\n");
  ASSERT_EQ(image.records.size(), 2u);
  EXPECT_EQ(image.records[0].address, 0x10);
  // Only at the very start.
  EXPECT_EQ(FaultOf(":01001000AA45\n\xEF\xBB\xBF:00000001FF\n"), At(K::MissingColon, 2));
}

TEST(HexImageReading, MalformedRecordsAreNamedWithTheirLine) {
  const struct {
    const char* text;
    std::optional<ImageFault> fault;
  } cases[] = {
      {":0300000002003BC1\n:00000001FF\n", At(K::ChecksumError, 1)},
      {":00000001FF", std::nullopt},
      {"0300000002003BC0\n", At(K::MissingColon, 1)},
      {":01000000AA55\n:03000000G2003BC0\n", At(K::InvalidCharacter, 2)},
      {":0300000002003B\n", At(K::RecordTooShort, 1)},
      {":030000\n", At(K::RecordTooShort, 1)},
      {":0200000002003BC1\n", At(K::RecordTooLong, 1)},
      {":0300000002003BC\n", At(K::OddDigitCount, 1)},
      {":0100000600F9\n", At(K::UnknownRecordType, 1, 0, 6)},
      {":00000006FA\n", At(K::UnknownRecordType, 1, 0, 6)},
      {":01000001AA54\n", At(K::EndRecordWithData, 1)},
      {":020000040001F9\n", At(K::AddressBaseOutsideFlash, 1, 0x0001)},
      {":0100000400FB\n", At(K::WrongLengthForType, 1, 0, 4)},
      {":00000004FC\n", At(K::WrongLengthForType, 1, 0, 4)},
      {":020000030000FB\n", At(K::WrongLengthForType, 1, 0, 3)},
      {":013000000AC5\n", At(K::AddressOutsideFlash, 1, 0x3000)},
      {":022FFF000102CD\n", At(K::AddressOutsideFlash, 1, 0x3000)},
      {":02FFFF000102FD\n", At(K::AddressOutsideFlash, 1, 0xFFFF)},
      {":02000E00010Fe0\n:01000F00AA46\n", At(K::AddressUsedTwice, 2, 0x000F)},
      {":01000000AA55\n", kNoEnd},
      {"", kNoEnd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FaultOf(c.text), c.fault);
  }
}

TEST(HexImageReading, LineEndsOfEveryKindGiveTheSameImage) {
  const std::string lf = ":0300000002003BC0\n:02001000AABB89\n:00000001FF\n";
  std::string cr = lf, crlf;
  for (char& c : cr) c = c == '\n' ? '\r' : c;
  for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& text : {cr, crlf}) {
    const HexImage image = Accepted(text);
    ASSERT_EQ(image.records.size(), 3u);
    EXPECT_EQ(image.records[1].address, 0x10);
    EXPECT_EQ(image.records[1].data, (std::vector<std::uint8_t>{0xAA, 0xBB}));
  }
}

TEST(HexImageReading, ReadingNeverReachesPastTheText) {
  // Every prefix of a valid file is either accepted or refused cleanly.
  const std::string file = ":0300000002003BC0\r\n:02001000AABB89\r\n:00000001FF\r\n";
  for (std::size_t length = 0; length <= file.size(); ++length) {
    const std::string prefix = file.substr(0, length);
    EXPECT_NO_THROW(ParseHexImage(prefix)) << length;
  }
}
