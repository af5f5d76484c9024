// The few operations that differ by operating system. Exactly one
// implementation of each half is linked into a program: the POSIX or Win32
// serial device and counter in production, the fakes from sim/ in tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace device_seam {

// Same width as a Win32 HANDLE; on POSIX it holds a file descriptor.
using Handle = std::intptr_t;

// The value a failed open leaves behind (INVALID_HANDLE_VALUE on Win32).
inline constexpr Handle kInvalidHandle = -1;

enum class LineCode : std::uint8_t { SetRts, ClearRts, SetDtr, ClearDtr, SetBreak, ClearBreak };

// Opens the port named by its first four characters ("COM1") for exclusive
// use. Returns kInvalidHandle when the device cannot be opened.
Handle OpenDevice(std::string_view deviceName);

// Applies the mode string (9600 baud, 8N1, no flow control) and leaves DTR
// and RTS off. True when the device is configured and usable.
bool ConfigureDevice(Handle handle, const char* mode);

void SetDeviceTimeouts(Handle handle, std::uint32_t timeoutMs);

// Exactly one system call. False when the device refused the switch.
bool SwitchLine(Handle handle, LineCode code);

// The state of CTS, where a cable may bring the chip's data output back.
// Exactly one system call: TIOCMGET on POSIX, GetCommModemStatus on Win32.
// False when the device refused.
bool ReadCts(Handle handle, bool& on);

void CloseDevice(Handle handle);

// The kernel driver behind the port ("ch341", "ftdi_sio", "serial8250"),
// where the platform can tell; empty otherwise. Only for the user's words.
std::string DeviceDriverName(std::string_view deviceName);

}  // namespace device_seam

namespace counter_seam {

// Ticks per second of the monotonic high-resolution counter.
std::int64_t CounterFrequency();

// Reading it must not enter the kernel: it is read in every spin of a wait.
std::int64_t ReadCounter();

}  // namespace counter_seam
