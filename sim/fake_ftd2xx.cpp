// A fake of FTDI's D2XX library (ftd2xx.dll) over the fake adapters, built
// as a DLL of that name for the Windows tests. Only the adapters a test adds
// exist; it knows no USB device.
//
// A program that knows nothing of the fake (flash89.exe itself) gets its
// adapters from the environment instead, in real time; the COM numbers
// that FTDI's driver would have recorded in the registry are the test
// script's to write (scripts/wine-fake-ports.sh, ftdi_driver_gave):
//   FLASH89_FAKE_FTD2XX=COM2:4,COM5:16   an adapter on each COM port, with
//                                        its samples per baud
//   FLASH89_FAKE_FTD2XX_TRACE=FILE       where each adapter's pin changes are
//                                        appended when it is closed, in the
//                                        fake serial device's trace format as
//                                        the modem and break calls that would
//                                        make them, on device "ftd2xx:COMn"
//                                        (fake_ftdi::TraceClosesTo)
//   FLASH89_FAKE_FTD2XX_CABLE=OPTIONS    their line back to CTS# and their
//                                        chip (fake_ftdi::ApplyCableOptions)
//   FLASH89_FAKE_FTD2XX_FLASH=FILE       where their chip keeps its flash,
//                                        EEPROM, user row, fuses and lock bits
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "serial/ftd2xx_types.h"
#include "sim/fake_ftd2xx_hooks.h"
#include "sim/fake_ftdi_registry.h"

namespace {

using FtHandle = ftd2xx::Handle;
using FtStatus = ftd2xx::Status;
using ftd2xx::kDeviceNotFound;
using ftd2xx::kDeviceNotOpened;
using ftd2xx::kInvalidHandle;
using ftd2xx::kInvalidParameter;
using ftd2xx::kIoError;
using ftd2xx::kOk;

// Set once a test reaches the library through its hooks: it then has only
// the adapters the test adds.
bool hooked = false;
bool fromEnvironment = false;

void AddAdaptersFromEnvironment() {
  if (hooked || fromEnvironment) return;
  fromEnvironment = true;
  const char* setting = std::getenv("FLASH89_FAKE_FTD2XX");
  if (setting == nullptr) return;
  for (const fake_ftdi::NamedAdapter& named : fake_ftdi::AdaptersNamedIn(setting)) {
    int com = 0;
    char extra = 0;
    if (std::sscanf(named.port.c_str(), "COM%d%c", &com, &extra) != 1 || com <= 0) continue;
    fake_ftdi::AdapterTraits traits;
    traits.comNumber = com;
    traits.samplesPerBaud = named.samplesPerBaud;
    if (const char* cable = std::getenv("FLASH89_FAKE_FTD2XX_CABLE")) {
      fake_ftdi::ApplyCableOptions(cable, traits);
    }
    std::snprintf(traits.traceName, sizeof traits.traceName, "ftd2xx:COM%d", com);
    fake_ftdi::AddAdapter(traits);
  }
  if (const char* trace = std::getenv("FLASH89_FAKE_FTD2XX_TRACE")) fake_ftdi::TraceClosesTo(trace);
  if (const char* flash = std::getenv("FLASH89_FAKE_FTD2XX_FLASH")) fake_ftdi::KeepChipIn(flash);
}

int IndexOf(FtHandle handle) {
  const auto index = reinterpret_cast<std::intptr_t>(handle) - 1;
  if (index < 0 || index >= fake_ftdi::AdapterCount()) return -1;
  return fake_ftdi::Counts(static_cast<int>(index)).open ? static_cast<int>(index) : -1;
}

}  // namespace

#define EXPORT extern "C" __declspec(dllexport)

EXPORT FtStatus WINAPI FT_CreateDeviceInfoList(DWORD* count) {
  if (count == nullptr) return kInvalidParameter;
  AddAdaptersFromEnvironment();
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

EXPORT FtStatus WINAPI FT_Read(FtHandle handle, void* buffer, DWORD count, DWORD* read) {
  const int index = IndexOf(handle);
  if (index < 0) return kInvalidHandle;
  *read = 0;
  const long transfer = fake_ftdi::SubmitReading(index, static_cast<std::uint8_t*>(buffer), count);
  const long result = transfer < 0 ? -1 : fake_ftdi::WaitForTransfer(index, transfer);
  if (result < 0) return kIoError;
  *read = static_cast<DWORD>(result);
  return kOk;
}

EXPORT FtStatus WINAPI FT_SetLatencyTimer(FtHandle handle, UCHAR milliseconds) {
  if (IndexOf(handle) < 0) return kInvalidHandle;
  return milliseconds >= 1 ? kOk : kInvalidParameter;
}

EXPORT FtStatus WINAPI FT_Purge(FtHandle handle, ULONG what) {
  const int index = IndexOf(handle);
  if (index < 0) return kInvalidHandle;
  if ((what & ftd2xx::kPurgeReceived) != 0) fake_ftdi::DropReadings(index);
  return kOk;
}

EXPORT FtStatus WINAPI FT_SetTimeouts(FtHandle handle, ULONG /*readMs*/, ULONG /*writeMs*/) {
  return IndexOf(handle) < 0 ? kInvalidHandle : kOk;
}

EXPORT FtStatus WINAPI FT_Close(FtHandle handle) {
  const int index = IndexOf(handle);
  if (index < 0) return kInvalidHandle;
  fake_ftdi::Close(index, false);
  return kOk;
}

EXPORT void FakeFtd2xxReset() {
  hooked = true;
  fake_ftdi::Reset();
  fake_ftdi_registry::ForgetComNumbers();
}

// As FTDI's driver does, the adapter's COM number goes into the registry.
EXPORT int FakeFtd2xxAddAdapter(const fake_ftdi::AdapterTraits* traits) {
  const int index = fake_ftdi::AddAdapter(*traits);
  if (traits->comNumber > 0) fake_ftdi_registry::RecordComNumber(index, traits->comNumber);
  return index;
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
