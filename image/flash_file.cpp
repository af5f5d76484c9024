#include "image/flash_file.h"

#include "image/hex_output.h"
#include "image/image_format.h"
#include "image/whole_file.h"

std::optional<ImageFault> WriteFlashFile(const std::string& path,
                                         std::span<const std::uint8_t> flash) {
  const Checked<ImageFormat> format = ImageFormatForNewFile(path);
  if (const auto* fault = std::get_if<ImageFault>(&format)) return *fault;
  if (std::get<ImageFormat>(format) == ImageFormat::IntelHex) {
    return WriteWholeFile(path, HexImageText(flash));
  }
  return WriteWholeFile(path, {reinterpret_cast<const char*>(flash.data()), flash.size()});
}
