// The types and codes of FTDI's D2XX interface (ftd2xx.dll) that flash89
// uses, as FTDI documents them; the library itself is loaded at run time.
#pragma once

#include <windows.h>

namespace ftd2xx {

using Handle = void*;
using Status = ULONG;

inline constexpr Status kOk = 0;
inline constexpr Status kInvalidHandle = 1;
inline constexpr Status kDeviceNotFound = 2;
inline constexpr Status kDeviceNotOpened = 3;
inline constexpr Status kIoError = 4;
inline constexpr Status kInvalidParameter = 6;

inline constexpr UCHAR kBitModeReset = 0x00;
inline constexpr UCHAR kBitModeAsynchronous = 0x01;
inline constexpr UCHAR kBitModeSynchronous = 0x04;

inline constexpr ULONG kPurgeReceived = 1;

}  // namespace ftd2xx
