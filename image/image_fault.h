// What is wrong with an image file, as facts: the kind, and the line,
// address, record type, error number or path that it concerns.
#pragma once

#include <cstddef>
#include <string>
#include <variant>

enum class ImageFaultKind {
  FileError,                // errorNumber: the system's errno of the open, stat or read
  FileTooLarge,             // larger than kMaxImageFileSize: no image of this chip
  LargerThanFlash,          // a binary image larger than its target
  MissingColon,             // line
  InvalidCharacter,         // line
  RecordTooShort,           // line
  RecordTooLong,            // line
  OddDigitCount,            // line
  ChecksumError,            // line
  UnknownRecordType,        // line, recordType
  EndRecordWithData,        // line
  WrongLengthForType,       // line, recordType
  AddressBaseOutsideFlash,  // line, address: the base the record gives
  AddressOutsideFlash,      // line, address: past the end of the target
  AddressUsedTwice,         // line, address
  DataAfterEndRecord,       // line
  MissingEndRecord,
  // Writing a file of the flash:
  UnknownExtension,  // path: a name ending in neither .hex nor .bin
  WriteError,        // path, errorNumber: creating, writing, flushing or replacing failed
};

// The memory an image is written to: the flash, the data EEPROM or the
// user row, each from address 0.
enum class ImageTarget : std::uint8_t { Flash, Eeprom, UserRow };

inline constexpr unsigned kFlashSize = 12288;
inline constexpr unsigned kEepromSize = 2048;
inline constexpr unsigned kUserRowSize = 64;

constexpr unsigned SizeOf(ImageTarget target) {
  switch (target) {
    case ImageTarget::Flash: return kFlashSize;
    case ImageTarget::Eeprom: return kEepromSize;
    case ImageTarget::UserRow: return kUserRowSize;
  }
  return 0;
}

struct ImageFault {
  ImageFaultKind kind;
  int line = 0;
  unsigned address = 0;
  int recordType = 0;
  int errorNumber = 0;
  std::string path = {};                    // the file named by the user, for the faults of writing
  ImageTarget target = ImageTarget::Flash;  // whose size or addresses were exceeded

  friend bool operator==(const ImageFault&, const ImageFault&) = default;
};

// Flash holds 12288 bytes; no image file of this chip comes near this.
inline constexpr std::size_t kMaxImageFileSize = 1 << 20;

// An image, or why there is none.
template <class Image>
using Checked = std::variant<Image, ImageFault>;
