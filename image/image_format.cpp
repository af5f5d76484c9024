#include "image/image_format.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

#include "image/binary_image.h"
#include "image/hex_image.h"
#include "image/image_file.h"

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

std::optional<ImageFormat> FormatByName(const std::string& path) {
  const std::string extension = LowerCaseExtension(path);
  if (extension == ".hex" || extension == ".ihx") return ImageFormat::IntelHex;
  if (extension == ".bin") return ImageFormat::Binary;
  return std::nullopt;
}

template <class Image>
Checked<ImageExtent> ExtentOrFault(const Checked<Image>& image) {
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  return ExtentOf(std::get<Image>(image));
}

}  // namespace

ImageFormat ImageFormatOf(const std::string& path) {
  if (const std::optional<ImageFormat> named = FormatByName(path)) return *named;
  const Checked<std::string> contents = ReadImageFile(path);
  const auto* text = std::get_if<std::string>(&contents);
  if (text == nullptr) return ImageFormat::IntelHex;
  std::string_view start(*text);
  if (start.starts_with("\xEF\xBB\xBF")) start.remove_prefix(3);
  return start.starts_with(':') ? ImageFormat::IntelHex : ImageFormat::Binary;
}

Checked<ImageFormat> ImageFormatForNewFile(const std::string& path) {
  if (const std::optional<ImageFormat> named = FormatByName(path)) return *named;
  return ImageFault{.kind = ImageFaultKind::UnknownExtension, .path = path};
}

Checked<ImageExtent> CheckImage(const std::string& path, ImageFormat format, ImageTarget target) {
  if (format == ImageFormat::IntelHex) return ExtentOrFault(ReadHexImage(path, target));
  return ExtentOrFault(ReadBinaryImage(path, target));
}
