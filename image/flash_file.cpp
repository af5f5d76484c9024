#include "image/flash_file.h"

#include <algorithm>
#include <cctype>

#include "image/hex_output.h"
#include "image/whole_file.h"

namespace {

// Taken from the text, without a conversion to the platform's path type
// that a name in another code page could fail.
std::string LowerCaseExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t folder = path.find_last_of("/\\");
  if (dot == std::string::npos || (folder != std::string::npos && dot < folder)) return {};
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

Checked<ImageFormat> FlashFileFormat(const std::string& path) {
  const std::string extension = LowerCaseExtension(path);
  if (extension == ".hex") return ImageFormat::IntelHex;
  if (extension == ".bin") return ImageFormat::Binary;
  return ImageFault{.kind = ImageFaultKind::UnknownExtension, .path = path};
}

std::optional<ImageFault> WriteFlashFile(const std::string& path,
                                         std::span<const std::uint8_t> flash) {
  const Checked<ImageFormat> format = FlashFileFormat(path);
  if (const auto* fault = std::get_if<ImageFault>(&format)) return *fault;
  if (std::get<ImageFormat>(format) == ImageFormat::IntelHex) {
    return WriteWholeFile(path, HexImageText(flash));
  }
  return WriteWholeFile(path, {reinterpret_cast<const char*>(flash.data()), flash.size()});
}
