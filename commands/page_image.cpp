#include "commands/page_image.h"

PageImage::PageImage() { index_.fill(-1); }

void PageImage::Add(std::uint16_t address, std::uint8_t value) {
  int& index = index_[address / kPageSize];
  if (index < 0) {
    index = static_cast<int>(pages_.size());
    ImagePage page;
    page.address = static_cast<std::uint16_t>(address & ~(kPageSize - 1));
    page.data.fill(0xFF);
    pages_.push_back(page);
  }
  ImagePage& page = pages_[static_cast<std::size_t>(index)];
  page.data[address % kPageSize] = value;
  ++page.imageBytes;
}
