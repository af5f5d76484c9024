#include "ui/form/error_box.h"

#include <algorithm>

std::string ErrorBoxCaption(const std::string& executablePath) {
  const std::size_t slash = executablePath.find_last_of("/\\");
  std::string name = slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  std::transform(
      name.begin() + (name.empty() ? 0 : 1), name.end(), name.begin() + (name.empty() ? 0 : 1),
      [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return name;
}

std::string ErrorBoxText(const std::string& errorText) {
  // In UTF-8 the last byte of any character beyond ASCII is above 0x7F.
  if (!errorText.empty() && static_cast<unsigned char>(errorText.back()) > '.') {
    return errorText + '.';
  }
  return errorText;
}
