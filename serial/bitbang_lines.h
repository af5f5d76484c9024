// The lines on an adapter that clocks them out itself (adapter_seam.h):
// line switches and waits become samples, gathered and sent in batches.
// Used by the port procedures and WaitMs only; the rest of the program sees
// the same SetDtrLine, SetRtsLine, SetTxdLine and WaitMs as on a serial port.
#pragma once

#include <cstdint>
#include <string_view>

#include "serial/device_seam.h"

namespace bitbang {

// The adapter's pins: TXD is D0, RTS# is D2 and DTR# is D4. The modem
// outputs are active low, so a line that is on holds its pin low, and TXD
// in break holds D0 low, as the serial port does at the same pins.
inline constexpr std::uint8_t kTxdPin = 1u << 0;
inline constexpr std::uint8_t kRtsPin = 1u << 2;
inline constexpr std::uint8_t kDtrPin = 1u << 4;
inline constexpr std::uint8_t kOutputPins = kTxdPin | kRtsPin | kDtrPin;
// Every line off and TXD released.
inline constexpr std::uint8_t kReleasedPins = kOutputPins;

// The rate asked of the adapter, in samples per second. A bit phase of
// 0.01 ms is then three samples with room for the rate's uncertainty, and
// the stream stays far below what a full-speed USB link carries.
inline constexpr double kSampleRateHz = 290'000;

// The environment variable that turns bit-bang off ("off", "0", "no").
inline constexpr const char* kSwitchVariable = "FLASH89_BITBANG";

// After OpenPort has configured the serial device: when the port is on an
// adapter and bit-bang is not turned off, the lines go to the adapter from
// the first line switch or wait on. Nothing is opened yet, so trying a port
// leaves the device with the operating system's driver.
void Consider(const char* mode);

// Each true when handled here, false when the port is (again) serial. The
// first of them takes the adapter and measures its sample rate; when that
// fails, the lines count as lost.
bool Switch(device_seam::LineCode code);
bool Wait(double durationMs);

// Sends whatever is still gathered and waits until the adapter has taken
// it, so that a failure of any of it is known.
void Confirm();

// Lets the adapter clock out what it holds, then gives it back.
void Close();

// Back to a port that has never been considered. For tests.
void Reset();

// The samples per millisecond that waits are made of, 0 when no adapter is
// in use. For benchmarks and tests.
double SamplesPerMs();

}  // namespace bitbang
