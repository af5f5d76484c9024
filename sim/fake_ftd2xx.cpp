// A fake of FTDI's D2XX library (ftd2xx.dll) over the fake adapters, built
// as a DLL of that name for the Windows tests. Only the adapters a test adds
// exist; it knows no USB device.
#include <windows.h>

#include <algorithm>

#include "sim/fake_ftd2xx_hooks.h"

namespace {

using FtHandle = void*;
using FtStatus = ULONG;
constexpr FtStatus kOk = 0;
constexpr FtStatus kInvalidHandle = 1;
constexpr FtStatus kDeviceNotFound = 2;
constexpr FtStatus kDeviceNotOpened = 3;
constexpr FtStatus kIoError = 4;
constexpr FtStatus kInvalidParameter = 6;

int IndexOf(FtHandle handle) {
  const auto index = reinterpret_cast<std::intptr_t>(handle) - 1;
  if (index < 0 || index >= fake_ftdi::AdapterCount()) return -1;
  return fake_ftdi::Counts(static_cast<int>(index)).open ? static_cast<int>(index) : -1;
}

}  // namespace

#define EXPORT extern "C" __declspec(dllexport)

EXPORT FtStatus WINAPI FT_CreateDeviceInfoList(DWORD* count) {
  if (count == nullptr) return kInvalidParameter;
  *count = static_cast<DWORD>(fake_ftdi::AdapterCount());
  return kOk;
}

EXPORT FtStatus WINAPI FT_Open(int index, FtHandle* handle) {
  if (handle == nullptr) return kInvalidParameter;
  if (index < 0 || index >= fake_ftdi::AdapterCount()) return kDeviceNotFound;
  if (!fake_ftdi::Open(index, 0, false)) return kDeviceNotOpened;
  *handle = reinterpret_cast<FtHandle>(static_cast<std::intptr_t>(index) + 1);
  return kOk;
}

EXPORT FtStatus WINAPI FT_GetComPortNumber(FtHandle handle, LONG* number) {
  const int index = IndexOf(handle);
  if (index < 0) return kInvalidHandle;
  const int com = fake_ftdi::Traits(index).comNumber;
  *number = com > 0 ? com : -1;
  return kOk;
}

EXPORT FtStatus WINAPI FT_SetBitMode(FtHandle handle, UCHAR mask, UCHAR mode) {
  const int index = IndexOf(handle);
  if (index < 0) return kInvalidHandle;
  return fake_ftdi::SetBitMode(index, mask, mode) ? kOk : kIoError;
}

EXPORT FtStatus WINAPI FT_SetBaudRate(FtHandle handle, ULONG baudRate) {
  const int index = IndexOf(handle);
  if (index < 0) return kInvalidHandle;
  return fake_ftdi::SetBaudRate(index, static_cast<int>(baudRate)) ? kOk : kIoError;
}

EXPORT FtStatus WINAPI FT_Write(FtHandle handle, void* buffer, DWORD count, DWORD* written) {
  const int index = IndexOf(handle);
  if (index < 0) return kInvalidHandle;
  *written = 0;
  const long transfer = fake_ftdi::Submit(index, static_cast<const std::uint8_t*>(buffer), count);
  const long result = transfer < 0 ? -1 : fake_ftdi::WaitForTransfer(index, transfer);
  if (result < 0) return kIoError;
  *written = static_cast<DWORD>(result);
  return kOk;
}

EXPORT FtStatus WINAPI FT_Close(FtHandle handle) {
  const int index = IndexOf(handle);
  if (index < 0) return kInvalidHandle;
  fake_ftdi::Close(index, false);
  return kOk;
}

EXPORT void FakeFtd2xxReset() { fake_ftdi::Reset(); }

EXPORT int FakeFtd2xxAddAdapter(const fake_ftdi::AdapterTraits* traits) {
  return fake_ftdi::AddAdapter(*traits);
}

EXPORT void FakeFtd2xxUseClock(fake_ftdi::NowFunction now, fake_ftdi::AdvanceFunction advance) {
  fake_ftdi::UseClock(now, advance);
}

EXPORT void FakeFtd2xxCounts(int index, fake_ftdi::AdapterCounts* counts) {
  *counts = fake_ftdi::Counts(index);
}

EXPORT std::size_t FakeFtd2xxEvents(int index, LineEvent* events, std::size_t capacity) {
  const std::vector<LineEvent>& all = fake_ftdi::Events(index);
  std::copy_n(all.begin(), std::min(capacity, all.size()), events);
  return all.size();
}
