#include "commands/memory_transfer.h"

#include <array>

#include "image/binary_image.h"
#include "image/hex_image.h"
#include "image/image_format.h"
#include "isp/chip_memories.h"

namespace {

template <class Image>
Checked<CoveredBytes> CoveredOrFault(const Checked<Image>& image) {
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  return CoveredBy(std::get<Image>(image));
}

}  // namespace

Checked<CoveredBytes> ReadCoveredBytes(const std::string& file, ImageTarget target) {
  if (ImageFormatOf(file) == ImageFormat::IntelHex) {
    return CoveredOrFault(ReadHexImage(file, target));
  }
  return CoveredOrFault(ReadBinaryImage(file, target));
}

std::vector<std::uint8_t> ReadWholeMemory(ImageTarget target, MisoPolarity polarity,
                                          ProgressMeter* meter) {
  const ChipMemory& memory = MemoryOf(target);
  std::vector<std::uint8_t> contents(memory.size);
  for (std::size_t start = 0; start < memory.size; start += memory.pageSize) {
    ReadMemoryPage(memory, static_cast<std::uint16_t>(start), polarity,
                   std::span(contents).subspan(start, memory.pageSize));
    if (meter != nullptr) meter->PageRead(memory.pageSize);
  }
  return contents;
}

void WriteCovered(ImageTarget target, const CoveredBytes& bytes, bool pages,
                  std::optional<MisoPolarity> poll) {
  const ChipMemory& memory = MemoryOf(target);
  if (!pages) {
    for (const auto& [address, value] : bytes) WriteMemoryByte(memory, address, value, poll);
    return;
  }
  std::array<std::uint8_t, kPageSize> page{};
  std::size_t pageStart = memory.size;  // none begun
  const auto writePage = [&] {
    if (pageStart < memory.size) {
      WriteMemoryPage(memory, static_cast<std::uint16_t>(pageStart), page, poll);
    }
  };
  for (const auto& [address, value] : bytes) {
    const std::size_t start = address & ~(memory.pageSize - 1);
    if (start != pageStart) {
      writePage();
      page.fill(0xFF);
      pageStart = start;
    }
    page[address - start] = value;
  }
  writePage();
}

std::optional<std::uint16_t> FirstNeedingErase(const CoveredBytes& wanted,
                                               const std::vector<std::uint8_t>& held) {
  for (const auto& [address, value] : wanted) {
    if (address < held.size() && (held[address] & value) != value) return address;
  }
  return std::nullopt;
}
