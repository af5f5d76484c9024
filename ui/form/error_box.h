#pragma once

#include <string>

// The application's title: the executable's file name without directory,
// cut at its first full stop, every letter after the first in lower case.
std::string ErrorBoxCaption(const std::string& executablePath);

// The error's text, with a full stop appended when its last character's
// code is greater than that of the full stop.
std::string ErrorBoxText(const std::string& errorText);
