// An image cut into the chip's 64-byte pages: only the pages it touches,
// each whole, the cells it leaves out 0xFF, which leaves them erased.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "isp/readback.h"

struct ImagePage {
  std::uint16_t address = 0;  // of its first cell
  std::array<std::uint8_t, kPageSize> data{};
  std::size_t imageBytes = 0;  // how many of its bytes the image gives
};

class PageImage {
 public:
  PageImage();

  // The image's bytes in the order it gives them; pages come in the order
  // the image first reaches them.
  void Add(std::uint16_t address, std::uint8_t value);

  const std::vector<ImagePage>& Pages() const { return pages_; }
  // The page that holds address, which the image must have reached.
  std::size_t IndexOf(std::uint16_t address) const {
    return static_cast<std::size_t>(index_[address / kPageSize]);
  }

 private:
  std::vector<ImagePage> pages_;
  std::array<int, 0x10000 / kPageSize> index_;
};
