#include "ui/cli/image_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "image/binary_image.h"
#include "image/hex_image.h"
#include "image/image_file.h"

namespace {

std::string LowerCaseExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

template <class Image>
Checked<ImageExtent> ExtentOrFault(const Checked<Image>& image) {
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  return ExtentOf(std::get<Image>(image));
}

}  // namespace

ImageFormat FormatFor(const std::string& path) {
  const std::string extension = LowerCaseExtension(path);
  if (extension == ".hex" || extension == ".ihx") return ImageFormat::IntelHex;
  if (extension == ".bin") return ImageFormat::Binary;
  const Checked<std::string> contents = ReadImageFile(path);
  // A file that cannot be read gets its fault from the HEX reader.
  const auto* text = std::get_if<std::string>(&contents);
  if (text == nullptr) return ImageFormat::IntelHex;
  std::string_view start(*text);
  if (start.starts_with("\xEF\xBB\xBF")) start.remove_prefix(3);
  return start.starts_with(':') ? ImageFormat::IntelHex : ImageFormat::Binary;
}

Checked<ImageExtent> CheckImage(const std::string& path, ImageFormat format) {
  if (format == ImageFormat::IntelHex) return ExtentOrFault(ReadHexImage(path));
  return ExtentOrFault(ReadBinaryImage(path));
}
