// The words the user reads for each fault.
#include "commands/messages.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

ImageFault At(ImageFaultKind kind, int line, unsigned address = 0, int type = 0) {
  return {.kind = kind, .line = line, .address = address, .recordType = type};
}

}  // namespace

TEST(Messages, PortTextsNameThePort) {
  EXPECT_EQ(PortStatusText(1, true), "COM1 geöffnet");
  EXPECT_EQ(PortStatusText(2, false), "COM2 nicht bereit");
  EXPECT_EQ(FaultText(PortFault{PortFaultKind::NotReady, 1}), "COM1 nicht bereit");
  EXPECT_EQ(FaultText(PortFault{PortFaultKind::Lost, 2}), "Verbindung zu COM2 unterbrochen");
  EXPECT_EQ(FaultText(PortFault{PortFaultKind::Cancelled, 1}),
            "Abgebrochen: der Chip ist möglicherweise gelöscht oder nur teilweise beschrieben");
}

TEST(Messages, ProgressGivesShareBytesAndTimeLeftRoundedUp) {
  EXPECT_EQ(ProgressText(
                {.bytesDone = 1024, .bytesTotal = 4096, .fractionDone = 0.2599, .msLeft = 30'001}),
            "25 %, 1024 von 4096 Bytes, noch 0:31");
  EXPECT_EQ(ProgressText({.bytesDone = 0, .bytesTotal = 1, .fractionDone = 0, .msLeft = 830}),
            "0 %, 0 von 1 Byte, noch 0:01");
  EXPECT_EQ(ProgressText({.fractionDone = 0.5, .msLeft = 210}), "50 %, noch 0:01");  // Erase
  EXPECT_EQ(ProgressText(
                {.bytesDone = 9, .bytesTotal = 12288, .fractionDone = 0.001, .msLeft = 3'723'000}),
            "0 %, 9 von 12288 Bytes, noch 1:02:03");
  EXPECT_EQ(ProgressText({.fractionDone = 1.2, .msLeft = -5}), "100 %, noch 0:00");
}

TEST(Messages, ImageExtentNamesFormatSizeAndRange) {
  EXPECT_EQ(ImageExtentText({ImageFormat::IntelHex, 307, 0x0000, 0x0132}),
            "Intel-HEX-Datei, 307 Bytes von 0000 bis 0132");
  EXPECT_EQ(ImageExtentText({ImageFormat::Binary, 1, 0, 0}),
            "Binärdatei, 1 Byte von 0000 bis 0000");
  EXPECT_EQ(ImageExtentText({ImageFormat::IntelHex, 0, 0, 0}), "Intel-HEX-Datei, 0 Bytes");
}

TEST(Messages, ImageFaultsReadAsTheUserKnowsThem) {
  using K = ImageFaultKind;
  const struct {
    ImageFault fault;
    const char* text;
  } cases[] = {
      {{.kind = K::FileError, .errorNumber = ENOENT}, "Datei nicht gefunden"},
      {{.kind = K::FileError, .errorNumber = ENAMETOOLONG}, "Ungültiger Dateiname"},
      {{.kind = K::FileError, .errorNumber = EMFILE}, "Zu viele geöffnete Dateien"},
      {{.kind = K::FileError, .errorNumber = EACCES}, "Dateizugriff verweigert"},
      {{.kind = K::FileError, .errorNumber = ENOMEM}, "Zu wenig Speicherplatz"},
      {{.kind = K::FileError, .errorNumber = EIO}, "E/A-Fehler 5"},
      {{.kind = K::FileTooLarge}, "Datei zu groß"},
      {{.kind = K::LargerThanFlash}, "Datei größer als der Flash-Speicher (12288 Bytes)"},
      {At(K::MissingColon, 1), "Zeile 1: Doppelpunkt fehlt"},
      {At(K::InvalidCharacter, 2), "Zeile 2: ungültiges Zeichen"},
      {At(K::RecordTooShort, 3), "Zeile 3: Datensatz zu kurz"},
      {At(K::RecordTooLong, 4), "Zeile 4: Datensatz zu lang"},
      {At(K::OddDigitCount, 5), "Zeile 5: ungerade Anzahl Ziffern"},
      {At(K::ChecksumError, 6), "Zeile 6: Prüfsummenfehler"},
      {At(K::UnknownRecordType, 7, 0, 6), "Zeile 7: unbekannter Satztyp 06"},
      {At(K::EndRecordWithData, 8), "Zeile 8: Endesatz mit Daten"},
      {At(K::WrongLengthForType, 9, 0, 4), "Zeile 9: falsche Länge für Satztyp 04"},
      {At(K::AddressBaseOutsideFlash, 10, 1),
       "Zeile 10: Adressbasis 0001 liegt außerhalb des Flash-Speichers"},
      {At(K::AddressOutsideFlash, 11, 0x3000),
       "Zeile 11: Adresse 3000 liegt außerhalb des Flash-Speichers"},
      {At(K::AddressUsedTwice, 12, 0x000F), "Zeile 12: Adresse 000F doppelt belegt"},
      {At(K::DataAfterEndRecord, 13), "Zeile 13: Daten nach dem Endesatz"},
      {{.kind = K::MissingEndRecord}, "Endesatz fehlt"},
  };
  for (const auto& c : cases) EXPECT_EQ(FaultText(c.fault), c.text);
}
