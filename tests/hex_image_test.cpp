// Reading Intel HEX: what is accepted, and how each kind of fault is named.
#include "image/hex_image.h"

#include <gtest/gtest.h>

#include "image/image_error.h"

namespace {

std::string ErrorOf(const std::string& text) {
  try {
    ParseHexImage(text);
  } catch (const ImageContentError& error) {
    return error.what();
  }
  return "accepted";
}

}  // namespace

TEST(HexImageReading, DataRecordsThenTheEndRecord) {
  const HexImage image = ParseHexImage(":0300000002003BC0\r\n:00000001FF\r\n");
  ASSERT_EQ(image.records.size(), 2u);
  EXPECT_EQ(image.records[0].address, 0);
  EXPECT_EQ(image.records[0].data, (std::vector<std::uint8_t>{0x02, 0x00, 0x3B}));
  EXPECT_TRUE(image.records[1].data.empty());
}

TEST(HexImageReading, AddressBaseAndStartRecordsWriteNothing) {
  const HexImage image = ParseHexImage(
      ":020000040000FA\n:020000020000FC\n:0400000300000000F9\n:0400000500000000F7\n"
      ":01001000AA45\n:00000001FF\n");
  ASSERT_EQ(image.records.size(), 2u);
  EXPECT_EQ(image.records[0].address, 0x10);
}

TEST(HexImageReading, LinesAfterTheEndAndAfterEndOfTextAreIgnored) {
  EXPECT_EQ(ErrorOf(":00000001FF\ngarbage\n"), "accepted");
  EXPECT_EQ(ErrorOf(":00000001FF\x1A:zz\n"), "accepted");
  EXPECT_EQ(ErrorOf(":01000000AA55\n\x1A:00000001FF\n"), "Endesatz fehlt");
}

TEST(HexImageReading, MalformedRecordsAreNamedWithTheirLine) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {":0300000002003BC1\n:00000001FF\n", "Zeile 1: Prüfsummenfehler"},
      {":00000001FF", "accepted"},
      {"0300000002003BC0\n", "Zeile 1: Doppelpunkt fehlt"},
      {":01000000AA55\n:03000000G2003BC0\n", "Zeile 2: ungültiges Zeichen"},
      {":0300000002003B\n", "Zeile 1: Datensatz zu kurz"},
      {":030000\n", "Zeile 1: Datensatz zu kurz"},
      {":0200000002003BC1\n", "Zeile 1: Datensatz zu lang"},
      {":0300000002003BC\n", "Zeile 1: ungerade Anzahl Ziffern"},
      {":0100000600F9\n", "Zeile 1: unbekannter Satztyp 06"},
      {":00000006FA\n", "Zeile 1: unbekannter Satztyp 06"},
      {":01000001AA54\n", "Zeile 1: Endesatz mit Daten"},
      {":020000040001F9\n", "Zeile 1: Adressbasis 0001 liegt außerhalb des Flash-Speichers"},
      {":0100000400FB\n", "Zeile 1: falsche Länge für Satztyp 04"},
      {":00000004FC\n", "Zeile 1: falsche Länge für Satztyp 04"},
      {":020000030000FB\n", "Zeile 1: falsche Länge für Satztyp 03"},
      {":013000000AC5\n", "Zeile 1: Adresse 3000 liegt außerhalb des Flash-Speichers"},
      {":022FFF000102CD\n", "Zeile 1: Adresse 3000 liegt außerhalb des Flash-Speichers"},
      {":02FFFF000102FD\n", "Zeile 1: Adresse FFFF liegt außerhalb des Flash-Speichers"},
      {":02000E00010Fe0\n:01000F00AA46\n", "Zeile 2: Adresse 000F doppelt belegt"},
      {":01000000AA55\n", "Endesatz fehlt"},
      {"", "Endesatz fehlt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ErrorOf(c.text), c.error);
  }
}

TEST(HexImageReading, LineEndsOfEveryKindGiveTheSameImage) {
  const std::string lf = ":0300000002003BC0\n:02001000AABB89\n:00000001FF\n";
  std::string cr = lf, crlf;
  for (char& c : cr) c = c == '\n' ? '\r' : c;
  for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& text : {cr, crlf}) {
    const HexImage image = ParseHexImage(text);
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
    EXPECT_NO_THROW({
      try {
        ParseHexImage(prefix);
      } catch (const ImageContentError&) {
      }
    }) << length;
  }
}
