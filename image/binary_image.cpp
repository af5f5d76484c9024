#include "image/binary_image.h"

#include "image/image_file.h"

Checked<std::vector<std::uint8_t>> ReadBinaryImage(const std::string& path, ImageTarget target) {
  Checked<std::string> contents = ReadImageFile(path);
  if (const auto* fault = std::get_if<ImageFault>(&contents)) return *fault;
  const std::string& bytes = std::get<std::string>(contents);
  if (bytes.size() > SizeOf(target)) {
    return ImageFault{.kind = ImageFaultKind::LargerThanFlash, .target = target};
  }
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}
