// FTDI adapters on Windows, through FTDI's D2XX library (ftd2xx.dll, which
// FTDI's standard driver installs). It is loaded at run time from the
// system directory, so that the program runs without it, on the serial
// path. The adapter is the one whose COM port is the port chosen.
#include <windows.h>

#include <cstring>
#include <string>

#include "serial/adapter_seam.h"
#include "serial/ftd2xx_types.h"
#include "serial/system_library.h"

namespace {

using FtHandle = ftd2xx::Handle;
using FtStatus = ftd2xx::Status;
using ftd2xx::kBitModeAsynchronous;
using ftd2xx::kBitModeReset;
constexpr FtStatus kFtOk = ftd2xx::kOk;

struct D2xx {
  FtStatus(WINAPI* CreateDeviceInfoList)(DWORD* count);
  FtStatus(WINAPI* Open)(int index, FtHandle* handle);
  FtStatus(WINAPI* GetComPortNumber)(FtHandle handle, LONG* number);
  FtStatus(WINAPI* SetBitMode)(FtHandle handle, UCHAR mask, UCHAR mode);
  FtStatus(WINAPI* SetBaudRate)(FtHandle handle, ULONG baudRate);
  FtStatus(WINAPI* Write)(FtHandle handle, void* buffer, DWORD count, DWORD* written);
  FtStatus(WINAPI* Close)(FtHandle handle);
};

template <class Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  const FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) return false;
  static_assert(sizeof function == sizeof address);
  std::memcpy(&function, &address, sizeof function);
  return true;
}

// Loaded once, the first time a port is opened, and kept.
const D2xx* Library() {
  static D2xx d2xx{};
  static const bool loaded = [] {
    const HMODULE module = LoadSystemLibrary("ftd2xx.dll");
    return module != nullptr &&
           Resolve(module, "FT_CreateDeviceInfoList", d2xx.CreateDeviceInfoList) &&
           Resolve(module, "FT_Open", d2xx.Open) &&
           Resolve(module, "FT_GetComPortNumber", d2xx.GetComPortNumber) &&
           Resolve(module, "FT_SetBitMode", d2xx.SetBitMode) &&
           Resolve(module, "FT_SetBaudRate", d2xx.SetBaudRate) &&
           Resolve(module, "FT_Write", d2xx.Write) && Resolve(module, "FT_Close", d2xx.Close);
  }();
  return loaded ? &d2xx : nullptr;
}

int ComNumber(std::string_view deviceName) {
  if (deviceName.size() != 4 || deviceName.substr(0, 3) != "COM") return -1;
  return deviceName[3] - '0';
}

FtHandle OpenByComNumber(const D2xx& d2xx, int comNumber) {
  DWORD count = 0;
  if (d2xx.CreateDeviceInfoList(&count) != kFtOk) return nullptr;
  for (DWORD index = 0; index < count; ++index) {
    FtHandle handle = nullptr;
    if (d2xx.Open(static_cast<int>(index), &handle) != kFtOk) continue;
    LONG number = -1;
    if (d2xx.GetComPortNumber(handle, &number) == kFtOk && number == comNumber) return handle;
    d2xx.Close(handle);
  }
  return nullptr;
}

}  // namespace

struct adapter_seam::Adapter {
  FtHandle handle = nullptr;
};

namespace adapter_seam {

bool MayBeAdapter(std::string_view deviceName) {
  const D2xx* d2xx = Library();
  DWORD count = 0;
  return d2xx != nullptr && ComNumber(deviceName) > 0 &&
         d2xx->CreateDeviceInfoList(&count) == kFtOk && count > 0;
}

Adapter* OpenAdapter(const char* mode, std::uint8_t outputPins, device_seam::Handle& serialHandle) {
  const D2xx* d2xx = Library();
  if (d2xx == nullptr) return nullptr;
  const std::string_view name = std::string_view(mode).substr(0, 4);
  // FTDI's driver serves one user at a time: the COM port is given up first.
  device_seam::CloseDevice(serialHandle);
  serialHandle = device_seam::kInvalidHandle;
  if (const FtHandle handle = OpenByComNumber(*d2xx, ComNumber(name))) {
    if (d2xx->SetBitMode(handle, outputPins, kBitModeAsynchronous) == kFtOk) {
      return new Adapter{handle};
    }
    d2xx->Close(handle);
  }
  // Not an FTDI adapter after all: the serial port again.
  serialHandle = device_seam::OpenDevice(name);
  device_seam::ConfigureDevice(serialHandle, mode);
  device_seam::SetDeviceTimeouts(serialHandle, 10);
  return nullptr;
}

bool SetBaudRate(Adapter* adapter, int baudRate) {
  return Library()->SetBaudRate(adapter->handle, static_cast<ULONG>(baudRate)) == kFtOk;
}

// FT_Write returns once the driver has the samples: the transfer is done
// when it returns.
bool Submit(Adapter* adapter, const std::uint8_t* samples, std::size_t count, Transfer& transfer) {
  DWORD written = 0;
  const FtStatus status = Library()->Write(adapter->handle, const_cast<std::uint8_t*>(samples),
                                           static_cast<DWORD>(count), &written);
  transfer = {nullptr, count, status == kFtOk && written == count};
  return true;
}

bool Complete(Adapter* /*adapter*/, Transfer& transfer) { return transfer.ok; }

void CloseAdapter(Adapter* adapter) {
  if (adapter == nullptr) return;
  Library()->SetBitMode(adapter->handle, 0, kBitModeReset);
  Library()->Close(adapter->handle);
  delete adapter;
}

}  // namespace adapter_seam
