#include "commands/messages.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "commands/chip_check.h"
#include "image/hex_text.h"
#include "isp/chip_memories.h"

namespace {

template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};

std::string LineText(int line, const std::string& what) {
  return "Zeile " + std::to_string(line) + ": " + what;
}

std::string Nominative(ImageTarget target) {
  switch (target) {
    case ImageTarget::Flash: return "der Flash-Speicher";
    case ImageTarget::Eeprom: return "das EEPROM";
    case ImageTarget::UserRow: return "die Benutzerzeile";
  }
  return {};
}

std::string Genitive(ImageTarget target) {
  switch (target) {
    case ImageTarget::Flash: return "des Flash-Speichers";
    case ImageTarget::Eeprom: return "des EEPROMs";
    case ImageTarget::UserRow: return "der Benutzerzeile";
  }
  return {};
}

std::string ImageFaultText(const ImageFault& fault) {
  const int line = fault.line;
  switch (fault.kind) {
    case ImageFaultKind::FileError: return IoErrorText(fault.errorNumber);
    case ImageFaultKind::FileTooLarge: return "Datei zu groß";
    case ImageFaultKind::LargerThanFlash:
      return "Datei größer als " + Nominative(fault.target) + " (" +
             std::to_string(SizeOf(fault.target)) + " Bytes)";
    case ImageFaultKind::MissingColon: return LineText(line, "Doppelpunkt fehlt");
    case ImageFaultKind::InvalidCharacter: return LineText(line, "ungültiges Zeichen");
    case ImageFaultKind::RecordTooShort: return LineText(line, "Datensatz zu kurz");
    case ImageFaultKind::RecordTooLong: return LineText(line, "Datensatz zu lang");
    case ImageFaultKind::OddDigitCount: return LineText(line, "ungerade Anzahl Ziffern");
    case ImageFaultKind::ChecksumError: return LineText(line, "Prüfsummenfehler");
    case ImageFaultKind::UnknownRecordType:
      return LineText(line, "unbekannter Satztyp " + ByteToHex(fault.recordType));
    case ImageFaultKind::EndRecordWithData: return LineText(line, "Endesatz mit Daten");
    case ImageFaultKind::WrongLengthForType:
      return LineText(line, "falsche Länge für Satztyp " + ByteToHex(fault.recordType));
    case ImageFaultKind::AddressBaseOutsideFlash:
      return LineText(line, "Adressbasis " + WordToHex(fault.address) + " liegt außerhalb " +
                                Genitive(fault.target));
    case ImageFaultKind::AddressOutsideFlash:
      return LineText(line, "Adresse " + WordToHex(fault.address) + " liegt außerhalb " +
                                Genitive(fault.target));
    case ImageFaultKind::AddressUsedTwice:
      return LineText(line, "Adresse " + WordToHex(fault.address) + " doppelt belegt");
    case ImageFaultKind::DataAfterEndRecord: return LineText(line, "Daten nach dem Endesatz");
    case ImageFaultKind::MissingEndRecord: return "Endesatz fehlt";
    case ImageFaultKind::UnknownExtension:
      return "Dateiname " + fault.path + " endet nicht auf .hex, .ihx oder .bin";
    case ImageFaultKind::WriteError:
      return "Datei " + fault.path +
             " kann nicht geschrieben werden: " + IoErrorText(fault.errorNumber);
  }
  return "E/A-Fehler " + std::to_string(fault.errorNumber);
}

// What kind of port a driver serves, where it is one users meet.
std::string AdapterOf(const std::string& driver) {
  const struct {
    const char* driver;
    const char* adapter;
  } known[] = {
      {"serial8250", "eingebaute Schnittstelle"}, {"serial", "eingebaute Schnittstelle"},
      {"ch341", "USB-Adapter CH340/CH341"},       {"ftdi_sio", "USB-Adapter FTDI"},
      {"pl2303", "USB-Adapter PL2303"},           {"cp210x", "USB-Adapter CP210x"},
      {"cdc_acm", "USB-Modem-Klasse CDC-ACM"},
  };
  for (const auto& entry : known) {
    if (driver == entry.driver) return entry.adapter;
  }
  return {};
}

// " (USB-Adapter CH340/CH341, Treiber ch341)", or nothing for no driver.
std::string AdapterText(const std::string& driver) {
  if (driver.empty()) return {};
  const std::string adapter = AdapterOf(driver);
  return " (" + (adapter.empty() ? "" : adapter + ", ") + "Treiber " + driver + ")";
}

// Milliseconds with a decimal comma, to as many places as the size needs.
std::string MsText(double ms) {
  const int places = ms >= 10 ? 0 : ms >= 1 ? 1 : 3;
  char text[32];
  std::snprintf(text, sizeof text, "%.*f ms", places, ms);
  std::string result = text;
  if (const auto point = result.find('.'); point != std::string::npos) result[point] = ',';
  return result;
}

std::string UnfitText(const PortFault& fault, const std::string& reason) {
  return fault.portName + " ist ungeeignet" + AdapterText(fault.driver) + ": " + reason;
}

std::string PortFaultText(const PortFault& fault) {
  switch (fault.kind) {
    case PortFaultKind::NotReady: return fault.portName + " nicht bereit";
    case PortFaultKind::LineLost: return "Verbindung zu " + fault.portName + " unterbrochen";
    case PortFaultKind::Cancelled:
      return "Abgebrochen: der Chip ist möglicherweise gelöscht oder nur teilweise beschrieben";
    case PortFaultKind::BreakFaked:
      return UnfitText(fault, "der Treiber hält TXD nicht im Break, er sendet nur ein Zeichen");
    case PortFaultKind::BreakTooSlow:
      return UnfitText(fault, "ein Break braucht " + MsText(fault.breakSwitchMs) +
                                  ", eine Steuerleitung " + MsText(fault.modemSwitchMs));
    case PortFaultKind::BreakRefused:
      return UnfitText(fault, "der Treiber kann TXD nicht im Break halten");
    case PortFaultKind::PageNotWritten:
      return "Seite " + WordToHex(static_cast<std::uint16_t>(fault.address & ~(kPageSize - 1))) +
             " nicht geschrieben: " + WordToHex(fault.address) + " liest nach " +
             MsText(kWritePollLimitMs) +
             " nicht wie geschrieben; der Chip ist möglicherweise nur teilweise beschrieben";
  }
  return PortStatusText(fault.portName, false);
}

std::string BytesText(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " Byte" : " Bytes");
}

std::string HexByte(std::uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

std::string SignatureText(const std::array<std::uint8_t, 3>& signature) {
  return "Signatur " + HexByte(signature[0]) + " " + HexByte(signature[1]) + " " +
         HexByte(signature[2]);
}

// "EEPROM-Adresse", "Benutzerzeile, Adresse": the flash's addresses go bare.
std::string WhereIn(ImageTarget target) {
  switch (target) {
    case ImageTarget::Flash: return "Adresse ";
    case ImageTarget::Eeprom: return "EEPROM-Adresse ";
    case ImageTarget::UserRow: return "Benutzerzeile, Adresse ";
  }
  return {};
}

std::string MismatchText(const ChipFault& fault) {
  std::string text = "Prüfung fehlgeschlagen: " + BytesText(fault.differing);
  if (fault.target == ImageTarget::Eeprom) text += " des EEPROMs";
  if (fault.target == ImageTarget::UserRow) text += " der Benutzerzeile";
  text += " anders als im Image";
  const char* separator = " (";
  for (const ByteMismatch& byte : fault.first) {
    char address[8];
    std::snprintf(address, sizeof address, "%04X", byte.address);
    text.append(separator).append(address).append(": gelesen ").append(HexByte(byte.read));
    text.append(", erwartet ").append(HexByte(byte.expected));
    separator = "; ";
  }
  if (!fault.first.empty()) text += fault.differing > fault.first.size() ? "; ...)" : ")";
  return text;
}

std::string ChipFaultText(const ChipFault& fault) {
  switch (fault.kind) {
    case ChipFaultKind::NoAnswer:
      return "Kein AT89S8253 an " + fault.portName +
             ": keine Antwort (keine Leitung von MISO zu CTS, kein Chip oder keine Versorgung)";
    case ChipFaultKind::OtherChip:
      return "Kein AT89S8253 an " + fault.portName + ": ein anderer Chip antwortet (" +
             SignatureText(fault.signature) + ")";
    case ChipFaultKind::Mismatch: return MismatchText(fault);
    case ChipFaultKind::NoMisoLine: return fault.portName + " kann CTS nicht lesen";
    case ChipFaultKind::LockedAgainstReading:
      return "Der Chip an " + fault.portName +
             " ist gegen Auslesen gesperrt (Sperrbits LB1 und LB2): Flash und EEPROM lassen sich "
             "nicht zurücklesen, bis ein Löschen die Sperre aufhebt";
    case ChipFaultKind::NeedsErase:
      return WhereIn(fault.target) + WordToHex(fault.address) +
             " braucht ein Löschen: der Chip hält dort ein 0-Bit, wo das Image ein 1-Bit hat; "
             "nichts wurde geschrieben" +
             (fault.target == ImageTarget::Eeprom
                  ? ". Flash und EEPROM mit einem Löschen schreiben: flash89-cli hex FLASH "
                    "--eeprom DATEI"
                  : "");
    case ChipFaultKind::UserRowWritesOff:
      return "Die Benutzerzeile ist schreibgeschützt (Fuse user-row aus); erst "
             "flash89-cli fuses user-row=on";
    case ChipFaultKind::FuseOrderDoubtful:
      return "Der Chip an " + fault.portName +
             " antwortet seriell, meldet die serielle Programmierung aber als aus: die Fuses "
             "lesen sich nicht wie erwartet, keine wird geschrieben";
    case ChipFaultKind::SerialProgrammingKept:
      return "serial-programming=off nur mit --disable-serial-programming: danach lässt sich "
             "der Chip nicht mehr in der Schaltung programmieren, nur noch mit einem "
             "Parallel-Programmiergerät";
    case ChipFaultKind::LockCannotOpen:
      return "Der Chip an " + fault.portName + " ist schon mit Stufe " +
             std::to_string(fault.lockLevel) + " gesperrt; nur ein Löschen hebt eine Sperre auf";
    case ChipFaultKind::FusesNotAsWritten:
    case ChipFaultKind::LockNotAsWritten: {
      const ByteMismatch& bits = fault.first.at(0);
      return std::string(fault.kind == ChipFaultKind::FusesNotAsWritten ? "Fuses" : "Sperrbits") +
             " nicht wie geschrieben: gelesen " + HexByte(bits.read) + ", geschrieben " +
             HexByte(bits.expected);
    }
    case ChipFaultKind::NotErased:
      return "Der Chip an " + fault.portName +
             " ist nach dem Löschen nicht leer: der Flash liest sich nicht als FF; nichts wurde "
             "geschrieben";
  }
  return "Kein AT89S8253 an " + fault.portName;
}

// Rounded up, so that the time left is not promised short.
std::string TimeLeftText(double ms) {
  const auto seconds = static_cast<long>(std::ceil(std::max(ms, 0.0) / 1000));
  std::string text = "noch ";
  if (seconds < 60) return text.append(std::to_string(seconds)).append(" s");
  const long minutes = (seconds + 59) / 60;
  if (minutes >= 60) {
    text.append(std::to_string(minutes / 60)).append(" h");
    if (minutes % 60 == 0) return text;
    text.append(" ");
  }
  return text.append(std::to_string(minutes % 60)).append(" min");
}

// "0:31", "12:05", "1:02:03"; rounded up, so that a running command never
// shows 0:00.
std::string DurationText(double ms) {
  const auto seconds = static_cast<long long>(std::ceil(std::max(ms, 0.0) / 1000.0));
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  }
  return text;
}

}  // namespace

std::string ChipFoundText(const std::string& portName,
                          const std::array<std::uint8_t, 3>& signature) {
  return "AT89S8253 an " + portName + " (" + SignatureText(signature) + ")";
}

std::string VerifiedText() { return "Geprüft: der Chip enthält das Image"; }

std::string FlashReadText(const std::string& file) { return "Flash gelesen nach " + file; }

std::string PortStatusText(const std::string& portName, bool opened) {
  return portName + (opened ? " geöffnet" : " nicht bereit");
}

std::string FaultText(const Fault& fault) {
  return std::visit(Overloaded{[](const PortFault& f) { return PortFaultText(f); },
                               [](const ImageFault& f) { return ImageFaultText(f); },
                               [](const ChipFault& f) { return ChipFaultText(f); }},
                    fault);
}

std::string IoErrorText(int errorNumber) {
  switch (errorNumber) {
    case ENOENT: return "Datei nicht gefunden";
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL: return "Ungültiger Dateiname";
    case EMFILE:
    case ENFILE: return "Zu viele geöffnete Dateien";
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return "Dateizugriff verweigert";
    case ENOMEM:
    case ENOSPC: return OutOfMemoryText();
    default: return "E/A-Fehler " + std::to_string(errorNumber);
  }
}

std::string OutOfMemoryText() { return "Zu wenig Speicherplatz"; }

std::string CaptionWithProgress(const std::string& caption, const CommandProgress& progress) {
  const auto percent =
      static_cast<int>(std::floor(std::clamp(progress.fractionDone, 0.0, 1.0) * 100));
  return caption + " – " + std::to_string(percent) + " %, " + TimeLeftText(progress.msLeft);
}

std::string InterruptedText() { return "Abgebrochen"; }

std::string DownloadDoneText() { return "Chip gelöscht und beschrieben"; }

std::string EraseDoneText() { return "Chip gelöscht"; }

std::string ProgressText(const CommandProgress& progress) {
  const int percent =
      static_cast<int>(std::clamp(std::floor(progress.fractionDone * 100.0), 0.0, 100.0));
  std::string text = std::to_string(percent) + " %, ";
  if (progress.bytesTotal > 0) {
    text += std::to_string(progress.bytesDone) + " von " + BytesText(progress.bytesTotal) + ", ";
  }
  return text + "noch " + DurationText(progress.msLeft);
}

std::string ImageExtentText(const ImageExtent& extent) {
  std::string text = extent.format == ImageFormat::IntelHex ? "Intel-HEX-Datei, " : "Binärdatei, ";
  text += BytesText(extent.bytes);
  if (extent.bytes > 0)
    text += " von " + WordToHex(extent.first) + " bis " + WordToHex(extent.last);
  return text;
}

std::string PresentPortText(const std::string& name, const std::string& driver, bool adapter) {
  std::string text = name;
  const std::string kind = AdapterOf(driver);
  if (!kind.empty()) text += ", " + kind;
  if (!driver.empty()) text += ", Treiber " + driver;
  if (adapter) text += ", Bit-Bang möglich";
  return text;
}

std::string NoPortsText() { return "Keine serielle Schnittstelle gefunden"; }

std::string FusesText(std::uint8_t fuses) {
  std::string text = "Fuses:";
  const char* separator = " ";
  for (const FuseName& fuse : kFuseNames) {
    text.append(separator).append(fuse.name).append((fuses & fuse.bit) == 0 ? " an" : " aus");
    separator = ", ";
  }
  return text;
}

std::string LockText(std::uint8_t lockBits) {
  const int level = LockLevel(lockBits);
  if (level == 0) return "Sperrstufe 0: nicht gesperrt";
  std::string bits;
  for (int bit = 0; bit < 3; ++bit) {
    if ((lockBits & (1 << bit)) != 0) continue;
    bits += (bits.empty() ? "LB" : ", LB") + std::to_string(bit + 1);
  }
  std::string text =
      level > 0 ? "Sperrstufe " + std::to_string(level) + " (" + bits + ")" : "Sperrbits " + bits;
  if ((~lockBits & 0x03) == 0x03) text += ": Flash und EEPROM nicht auslesbar";
  return text;
}

std::string LockedText(int level) {
  return "Chip mit Stufe " + std::to_string(level) + " gesperrt";
}

std::string FusesWrittenText() { return "Fuses geschrieben und geprüft"; }

std::string MemoryReadText(ImageTarget target, const std::string& file) {
  switch (target) {
    case ImageTarget::Flash: return FlashReadText(file);
    case ImageTarget::Eeprom: return "EEPROM gelesen nach " + file;
    case ImageTarget::UserRow: return "Benutzerzeile gelesen nach " + file;
  }
  return FlashReadText(file);
}

std::string MemoryWrittenText(ImageTarget target, std::size_t bytes) {
  return std::string(target == ImageTarget::UserRow ? "Benutzerzeile" : "EEPROM") +
         " beschrieben: " + BytesText(bytes) + " geändert";
}

std::string EepromKeptText(const std::string& file) {
  return "Der Inhalt des EEPROMs vor dem Löschen ist gesichert in " + file +
         "; zurückschreiben mit flash89-cli write-eeprom " + file;
}

namespace {

// Microseconds with a decimal comma, to two places, without trailing zeros.
std::string UsText(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", ms * 1000);
  std::string result = text;
  while (result.back() == '0') result.pop_back();
  if (result.back() == '.') result.pop_back();
  if (const auto point = result.find('.'); point != std::string::npos) result[point] = ',';
  return result + " µs";
}

}  // namespace

std::string BitClockText(const BitClockUsed& clock) {
  std::string text = "Takt: " + UsText(clock.phaseMs) + " je Phase";
  if (clock.byHand) {
    text += " (--clock-us";
  } else if (clock.followedMs && *clock.followedMs < clock.phaseMs) {
    text += " (mit Reserve zur kürzesten, der der Chip folgte: " + UsText(*clock.followedMs);
  } else if (clock.followedMs && clock.phaseMs < 0.01) {
    text += " (so kurz, wie der Port schalten kann; der Chip folgte ihr";
  } else if (clock.followedMs) {
    text += " (wie das Fenster; keine kürzere bestätigt";
  } else {
    text += " (wie das Fenster";
  }
  text += clock.echoChecked ? "; jedes Echo geprüft)" : "; kein Echo vom Chip gelesen)";
  if (clock.fallbacks > 0) {
    text += "; Echo oder Antwort falsch, weiter mit " + UsText(0.01) + " je Phase";
  }
  return text;
}
