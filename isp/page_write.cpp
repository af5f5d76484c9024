#include "isp/page_write.h"

#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

void SendPage(std::uint16_t pageAddress, FlashPage data) {
  if (CancelRequested()) throw Cancelled{};
  const auto first = static_cast<std::uint16_t>(pageAddress & ~(kPageSize - 1));
  SendIspByte(kWriteProgramPage);
  SendIspByte(static_cast<std::uint8_t>(first >> 8));
  SendIspByte(static_cast<std::uint8_t>(first & 0xFF));
  for (const std::uint8_t value : data) SendIspByte(value);
  if (LineFailedSinceOpen()) throw LineLost{};
}

}  // namespace

void WriteFlashPage(std::uint16_t pageAddress, FlashPage data) {
  SendPage(pageAddress, data);
  WaitMs(kPageWriteCycleMs);
}

void WriteFlashPage(std::uint16_t pageAddress, FlashPage data, CtsPolarity polarity) {
  SendPage(pageAddress, data);
  const double start = ElapsedMs();
  const auto cell = static_cast<std::uint16_t>((pageAddress & ~(kPageSize - 1)) + kPageSize - 1);
  const std::uint8_t expected = data[kPageSize - 1];
  for (;;) {
    const double elapsed = ElapsedMs() - start;
    if (CancelRequested()) {
      // The read would throw before the cycle is over; the next page's
      // instruction stops the command instead.
      if (elapsed < kPageWriteCycleMs) WaitMs(kPageWriteCycleMs - elapsed);
      return;
    }
    if (ReadFlashByte(cell, polarity) == expected) return;
    if (elapsed > kPagePollLimitMs) throw PageNotWritten{cell};
  }
}
