#include "commands/memory_transfer.h"

#include <algorithm>
#include <array>

#include "image/binary_image.h"
#include "image/hex_image.h"
#include "image/image_format.h"
#include "isp/bit_clock.h"
#include "isp/chip_memories.h"
#include "isp/echo_check.h"
#include "isp/isp.h"

namespace {

template <class Image>
Checked<CoveredBytes> CoveredOrFault(const Checked<Image>& image) {
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  return CoveredBy(std::get<Image>(image));
}

}  // namespace

bool ReadsTwice() { return BitPhaseMs() < kBitPhaseMs; }

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
  std::array<std::uint8_t, kPageSize> again{};
  for (std::size_t start = 0; start < memory.size; start += memory.pageSize) {
    const auto address = static_cast<std::uint16_t>(start);
    const auto page = std::span(contents).subspan(start, memory.pageSize);
    ReadMemoryPage(memory, address, polarity, page);
    if (ReadsTwice()) {
      // What is read may be written back or kept in a file: a page must read
      // the same twice at a short phase, else it is read at the window's.
      ReadMemoryPage(memory, address, polarity, std::span(again).first(page.size()));
      if (!std::equal(page.begin(), page.end(), again.begin())) {
        DropToWindowPhase(polarity);
        ReadMemoryPage(memory, address, polarity, page);
      }
    }
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
