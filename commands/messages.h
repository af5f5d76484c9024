// Every text of the program that the user reads, in German as users of the
// program know them. Everything else hands faults and facts up to here.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "commands/bit_clock_choice.h"
#include "commands/fault.h"
#include "commands/progress.h"
#include "image/image_extent.h"

// A chip that answered: "AT89S8253 an COM2 (Signatur 1E 73 01)".
std::string ChipFoundText(const std::string& portName,
                          const std::array<std::uint8_t, 3>& signature);

// After a read-back matched the image, and after a read-out was written.
std::string VerifiedText();
std::string FlashReadText(const std::string& file);

// The status line after a port was tried: "COM1 geöffnet", "COM2 nicht bereit".
std::string PortStatusText(const std::string& portName, bool opened);

// The fault's sentence, without a final full stop.
std::string FaultText(const Fault& fault);

// The text for an operating system's error number: "Datei nicht gefunden",
// "Dateizugriff verweigert", ..., else "E/A-Fehler n".
std::string IoErrorText(int errorNumber);

// When memory ran out in the middle of a command.
std::string OutOfMemoryText();

// The window's title while a command runs: the caption, the share done and
// the time left, "VU74/Flash AT89S8253 – 42 %, noch 3 min".
std::string CaptionWithProgress(const std::string& caption, const CommandProgress& progress);

// The texts of the command-line program.

// A command stopped on request before it switched a line.
std::string InterruptedText();

// After a command's work was done.
std::string DownloadDoneText();
std::string EraseDoneText();

// "25 %, 1024 von 4096 Bytes, noch 0:31"; Erase has no bytes to count.
std::string ProgressText(const CommandProgress& progress);

// "Intel-HEX-Datei, 27 Bytes von 0000 bis 001A".
std::string ImageExtentText(const ImageExtent& extent);

// One line of the ports' list: "/dev/ttyUSB0, USB-Adapter FTDI, Treiber
// ftdi_sio, Bit-Bang möglich"; adapter when bit-bang can drive its lines.
std::string PresentPortText(const std::string& name, const std::string& driver, bool adapter);
std::string NoPortsText();

// The whole chip: fuses and lock bits as a line each, "Fuses:
// serial-programming an, x2 aus, user-row aus, external-clock aus" and
// "Sperrstufe 2 (LB1, LB2): Flash und EEPROM nicht auslesbar".
std::string FusesText(std::uint8_t fuses);
std::string LockText(std::uint8_t lockBits);
std::string LockedText(int level);
std::string FusesWrittenText();
std::string MemoryReadText(ImageTarget target, const std::string& file);
// After write-eeprom or write-user-row: how many bytes it changed.
std::string MemoryWrittenText(ImageTarget target, std::size_t bytes);
// Where the EEPROM read before an erase is kept, when its write-back did
// not finish.
std::string EepromKeptText(const std::string& file);

// The bit clock a command used (--verbose): its phase, and how it was chosen.
std::string BitClockText(const BitClockUsed& clock);
