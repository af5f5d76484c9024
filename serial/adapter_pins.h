// An FTDI adapter's pins in bit-bang mode, wired as the serial port's own
// lines: TXD is D0, RTS# is D2, CTS# is D3 and DTR# is D4.
#pragma once

#include <cstdint>

// The modem outputs are active low, so a line that is on holds its pin low,
// and TXD in break holds D0 low, as the serial port does at the same pins.
inline constexpr std::uint8_t kTxdPin = 1u << 0;
inline constexpr std::uint8_t kRtsPin = 1u << 2;
inline constexpr std::uint8_t kDtrPin = 1u << 4;
// The input where the chip's data out (MISO) comes back: CTS#, low while
// CTS is on, as the serial port sees it.
inline constexpr std::uint8_t kMisoPin = 1u << 3;
inline constexpr std::uint8_t kOutputPins = kTxdPin | kRtsPin | kDtrPin;
// Every line off and TXD released.
inline constexpr std::uint8_t kReleasedPins = kOutputPins;
