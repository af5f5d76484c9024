// USB serial adapters that can clock out the lines themselves: an FTDI chip
// in bit-bang mode drives its pins from a stream of samples at a fixed
// rate, so that one USB transfer carries many line switches and the
// adapter's clock, not the host, times them. Exactly one implementation is
// linked into a program: libftdi on Linux, D2XX on Windows, none, or the
// fakes from sim/ in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "serial/device_seam.h"

namespace adapter_seam {

struct Adapter;

// A submission on its way to the adapter.
struct Transfer {
  void* token = nullptr;
  void* readingToken = nullptr;  // the pin readings that come back, where asked for
  std::size_t count = 0;
  bool ok = false;
};

// Samples per submission at most. More would make the library split one
// submission into several USB transfers, and two submissions under way
// could then interleave theirs.
inline constexpr std::size_t kMaxSubmission = 4096;

// Whether the port belongs to an FTDI adapter: on Linux its tty is served
// by the kernel's FTDI driver, on Windows FTDI's driver gave the COM number
// to one of its devices. Cheap and side-effect free: it opens nothing and
// takes the device from no driver.
bool IsAdapter(std::string_view deviceName);

// Takes the adapter behind the port that mode names ("COM2:9600,N,8,1"),
// in asynchronous bit-bang mode with only outputPins as outputs. Null when
// it cannot be had; the port then stays the serial device that
// serialHandle holds. Where the adapter cannot be opened while its serial
// port is held (Windows), the serial port is given up for it, and opened
// again when the adapter cannot be had after all; when that fails too,
// serialHandle holds kInvalidHandle.
Adapter* OpenAdapter(const char* mode, std::uint8_t outputPins, device_seam::Handle& serialHandle);

// Programs the adapter's baud rate generator, which sets its sample rate.
bool SetBaudRate(Adapter* adapter, int baudRate);

// From now on the adapter reads its pins as it clocks out each sample
// (synchronous bit-bang): each reading shows the pins just before the
// sample goes out, so the one of sample n shows what sample n - 1 and the
// chip behind the pins made of them. Every reading must be received.
bool StartReadingPins(Adapter* adapter);

// Starts sending at most kMaxSubmission samples, one byte of pin states
// each. Once the adapter reads its pins, readings receives one reading per
// sample. Both must stay untouched until Complete.
bool Submit(Adapter* adapter, const std::uint8_t* samples, std::size_t count,
            std::uint8_t* readings, Transfer& transfer);

// Blocks until the adapter has taken every sample of the transfer into its
// own buffer, and where readings were asked for, until they have all come
// back. False when they did not all arrive.
bool Complete(Adapter* adapter, Transfer& transfer);

// Back to serial mode; the operating system's driver gets the device back.
void CloseAdapter(Adapter* adapter);

}  // namespace adapter_seam
