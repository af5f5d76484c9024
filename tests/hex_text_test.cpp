#include "image/hex_text.h"

#include <gtest/gtest.h>

TEST(HexText, PairsOfDigitsReadAsBytes) {
  EXPECT_EQ(HexToByte("1F"), 31);
  EXPECT_EQ(HexToByte("FF"), 255);
  EXPECT_EQ(HexToByte("00"), 0);
  EXPECT_EQ(HexToByte("3Bxyz"), 0x3B);
}

TEST(HexText, LowerCaseDigitsReadLikeCapitals) {
  EXPECT_EQ(HexToByte("ff"), 255);
  EXPECT_EQ(HexToByte("aB"), 0xAB);
  EXPECT_EQ(HexToByte("c0"), 0xC0);
}

TEST(HexText, BytesWriteAsTwoCapitalDigits) {
  EXPECT_EQ(ByteToHex(0), "00");
  EXPECT_EQ(ByteToHex(5), "05");
  EXPECT_EQ(ByteToHex(10), "0A");
  EXPECT_EQ(ByteToHex(171), "AB");
  EXPECT_EQ(ByteToHex(255), "FF");
  EXPECT_EQ(WordToHex(0x2FFF), "2FFF");
}

TEST(HexText, EveryByteSurvivesTheRoundTrip) {
  for (unsigned value = 0; value < 256; ++value) {
    EXPECT_EQ(HexToByte(ByteToHex(value)), value);
  }
}
