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
  EXPECT_EQ(PortStatusText("COM1", true), "COM1 geöffnet");
  EXPECT_EQ(PortStatusText("COM2", false), "COM2 nicht bereit");
  EXPECT_EQ(FaultText(PortFault{PortFaultKind::NotReady, "COM1"}), "COM1 nicht bereit");
  EXPECT_EQ(FaultText(PortFault{PortFaultKind::LineLost, "COM2"}),
            "Verbindung zu COM2 unterbrochen");
  EXPECT_EQ(FaultText(PortFault{PortFaultKind::Cancelled, "COM1"}),
            "Abgebrochen: der Chip ist möglicherweise gelöscht oder nur teilweise beschrieben");
}

TEST(Messages, PortPastComTwoIsNamedAsGivenAndListedWithItsAdapter) {
  const PortFault lost{PortFaultKind::LineLost, "/dev/serial/by-id/usb-FTDI-if00"};
  EXPECT_EQ(FaultText(lost), "Verbindung zu /dev/serial/by-id/usb-FTDI-if00 unterbrochen");
  EXPECT_EQ(PresentPortText("/dev/ttyUSB0", "ftdi_sio", true),
            "/dev/ttyUSB0, USB-Adapter FTDI, Treiber ftdi_sio, Bit-Bang möglich");
  EXPECT_EQ(PresentPortText("COM3", "", false), "COM3");
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

TEST(Messages, UnfitPortsAreNamedWithTheirAdapterAndTheReason) {
  using K = PortFaultKind;
  const struct {
    PortFault fault;
    const char* text;
  } cases[] = {
      {{K::BreakFaked, "COM2", "ch341"},
       "COM2 ist ungeeignet (USB-Adapter CH340/CH341, Treiber ch341): der Treiber hält TXD nicht "
       "im Break, er sendet nur ein Zeichen"},
      {{K::BreakFaked, "COM1"},
       "COM1 ist ungeeignet: der Treiber hält TXD nicht im Break, er sendet "
       "nur ein Zeichen"},
      {{K::BreakTooSlow, "COM1", "ftdi_sio", 12.4, 1.26},
       "COM1 ist ungeeignet (USB-Adapter FTDI, Treiber ftdi_sio): ein Break braucht 12 ms, eine "
       "Steuerleitung 1,3 ms"},
      {{K::BreakTooSlow, "COM2", "serial8250", 2.5, 0.0021},
       "COM2 ist ungeeignet (eingebaute Schnittstelle, Treiber serial8250): ein Break braucht "
       "2,5 ms, eine Steuerleitung 0,002 ms"},
      {{K::BreakRefused, "COM2", "xr_serial"},
       "COM2 ist ungeeignet (Treiber xr_serial): der Treiber kann TXD nicht im Break halten"},
  };
  for (const auto& c : cases) EXPECT_EQ(FaultText(c.fault), c.text);
}

TEST(Messages, TitleShowsShareDoneAndTimeLeftRoundedUp) {
  const struct {
    double fraction, msLeft;
    const char* title;
  } cases[] = {
      {0.0, 420, "Flash – 0 %, noch 1 s"},
      {0.426, 59'000, "Flash – 42 %, noch 59 s"},
      {0.5, 59'001, "Flash – 50 %, noch 1 min"},
      {0.5, 61'000, "Flash – 50 %, noch 2 min"},
      {0.1, 180'000, "Flash – 10 %, noch 3 min"},
      {0.01, 3'600'000, "Flash – 1 %, noch 1 h"},
      {0.01, 3'900'000, "Flash – 1 %, noch 1 h 5 min"},
      {0.999, 0, "Flash – 99 %, noch 0 s"},
  };
  for (const auto& c : cases) {
    CommandProgress progress;
    progress.fractionDone = c.fraction;
    progress.msLeft = c.msLeft;
    EXPECT_EQ(CaptionWithProgress("Flash", progress), c.title);
  }
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
      {{.kind = K::UnknownExtension, .path = "flash.txt"},
       "Dateiname flash.txt endet nicht auf .hex, .ihx oder .bin"},
      {{.kind = K::WriteError, .errorNumber = ENOSPC, .path = "flash.hex"},
       "Datei flash.hex kann nicht geschrieben werden: Zu wenig Speicherplatz"},
  };
  for (const auto& c : cases) EXPECT_EQ(FaultText(c.fault), c.text);
}
