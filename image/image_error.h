#pragma once

#include <string>

#include "isp/command_error.h"

// The image file could not be opened or read.
class ImageFileError : public CommandError {
 public:
  using CommandError::CommandError;
};

// The image's contents are not a valid image for this chip.
class ImageContentError : public CommandError {
 public:
  using CommandError::CommandError;
};

// The text for an operating-system error number, in the words users of the
// program know: "Datei nicht gefunden", "Dateizugriff verweigert", ...
std::string IoErrorText(int errorNumber);
