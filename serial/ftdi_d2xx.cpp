// FTDI adapters on Windows, through FTDI's D2XX library (ftd2xx.dll, which
// FTDI's standard driver installs). It is loaded at run time from the
// system directory, so that the program runs without it, on the serial
// path. The adapter is the one whose COM port is the port chosen: FTDI's
// driver says which COM numbers are its devices', so a built-in port or
// another maker's adapter is never closed to look for one.
#include <windows.h>

#include <cstdio>
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
  // Only for reading the pins; a library without them still writes.
  FtStatus(WINAPI* Read)(FtHandle handle, void* buffer, DWORD count, DWORD* read);
  FtStatus(WINAPI* SetLatencyTimer)(FtHandle handle, UCHAR milliseconds);
  FtStatus(WINAPI* SetTimeouts)(FtHandle handle, ULONG readMs, ULONG writeMs);
  FtStatus(WINAPI* Purge)(FtHandle handle, ULONG what);
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
    const bool writes = module != nullptr &&
                        Resolve(module, "FT_CreateDeviceInfoList", d2xx.CreateDeviceInfoList) &&
                        Resolve(module, "FT_Open", d2xx.Open) &&
                        Resolve(module, "FT_GetComPortNumber", d2xx.GetComPortNumber) &&
                        Resolve(module, "FT_SetBitMode", d2xx.SetBitMode) &&
                        Resolve(module, "FT_SetBaudRate", d2xx.SetBaudRate) &&
                        Resolve(module, "FT_Write", d2xx.Write) &&
                        Resolve(module, "FT_Close", d2xx.Close);
    if (writes) {
      Resolve(module, "FT_Read", d2xx.Read);
      Resolve(module, "FT_SetLatencyTimer", d2xx.SetLatencyTimer);
      Resolve(module, "FT_SetTimeouts", d2xx.SetTimeouts);
      Resolve(module, "FT_Purge", d2xx.Purge);
    }
    return writes;
  }();
  return loaded ? &d2xx : nullptr;
}

// "COM7" is 7, "COM12" and "\\.\COM12" 12; anything else -1.
int ComNumber(std::string_view deviceName) {
  if (deviceName.starts_with("\\\\.\\")) deviceName.remove_prefix(4);
  if (deviceName.size() < 4 || deviceName.size() > 6 || deviceName.substr(0, 3) != "COM") return -1;
  int number = 0;
  for (const char digit : deviceName.substr(3)) {
    if (digit < '0' || digit > '9') return -1;
    number = number * 10 + (digit - '0');
  }
  return number;
}

// FTDI's driver records the COM number it gave each of its devices (each
// channel of a multi-channel chip is a device) under its bus's key.
bool FtdiOwnsComPort(int comNumber) {
  if (comNumber <= 0) return false;
  HKEY bus = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS", 0, KEY_READ,
                    &bus) != ERROR_SUCCESS) {
    return false;
  }
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, "COM%d", comNumber);
  bool owned = false;
  char device[256];
  for (DWORD index = 0; !owned; ++index) {
    DWORD size = sizeof device;
    if (RegEnumKeyExA(bus, index, device, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::string parameters = std::string(device) + "\\0000\\Device Parameters";
    char port[32] = {};
    DWORD portSize = sizeof port;
    owned = RegGetValueA(bus, parameters.c_str(), "PortName", RRF_RT_REG_SZ, nullptr, port,
                         &portSize) == ERROR_SUCCESS &&
            _stricmp(port, wanted) == 0;
  }
  RegCloseKey(bus);
  return owned;
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
  UCHAR outputPins = 0;
};

namespace adapter_seam {

bool IsAdapter(std::string_view deviceName) {
  return FtdiOwnsComPort(ComNumber(deviceName)) && Library() != nullptr;
}

Adapter* OpenAdapter(const char* mode, std::uint8_t outputPins, device_seam::Handle& serialHandle) {
  const std::string_view name = device_seam::ModeDevice(mode);
  const D2xx* d2xx = Library();
  if (d2xx == nullptr || !FtdiOwnsComPort(ComNumber(name))) return nullptr;
  // FTDI's driver serves one user at a time: the COM port is given up first.
  device_seam::CloseDevice(serialHandle);
  serialHandle = device_seam::kInvalidHandle;
  if (const FtHandle handle = OpenByComNumber(*d2xx, ComNumber(name))) {
    if (d2xx->SetBitMode(handle, outputPins, kBitModeAsynchronous) == kFtOk) {
      return new Adapter{handle, outputPins};
    }
    d2xx->Close(handle);
  }
  // The serial port again. One that cannot be had back is lost: no command
  // may run on a closed handle.
  serialHandle = device_seam::OpenDevice(name);
  if (!device_seam::ConfigureDevice(serialHandle, mode)) {
    device_seam::CloseDevice(serialHandle);
    serialHandle = device_seam::kInvalidHandle;
    return nullptr;
  }
  device_seam::SetDeviceTimeouts(serialHandle, 10);
  return nullptr;
}

bool SetBaudRate(Adapter* adapter, int baudRate) {
  return Library()->SetBaudRate(adapter->handle, static_cast<ULONG>(baudRate)) == kFtOk;
}

// FTDI's driver keeps receiving into its own buffer, so the readings are
// fetched after the samples are written; whatever it held before is
// dropped, so that the first reading is the first sample's. The latency
// timer at 1 ms lets the last readings of a page come at once; a timeout
// ends the wait for an adapter that was pulled out.
bool StartReadingPins(Adapter* adapter) {
  const D2xx& d2xx = *Library();
  const FtHandle handle = adapter->handle;
  return d2xx.Read != nullptr && d2xx.SetLatencyTimer != nullptr && d2xx.SetTimeouts != nullptr &&
         d2xx.Purge != nullptr && d2xx.SetLatencyTimer(handle, 1) == kFtOk &&
         d2xx.SetTimeouts(handle, 1000, 1000) == kFtOk &&
         d2xx.SetBitMode(handle, adapter->outputPins, ftd2xx::kBitModeSynchronous) == kFtOk &&
         d2xx.Purge(handle, ftd2xx::kPurgeReceived) == kFtOk;
}

// FT_Write returns once the driver has the samples, FT_Read once the
// readings are in: the transfer is done when Submit returns.
bool Submit(Adapter* adapter, const std::uint8_t* samples, std::size_t count,
            std::uint8_t* readings, Transfer& transfer) {
  const D2xx& d2xx = *Library();
  const auto size = static_cast<DWORD>(count);
  DWORD written = 0;
  bool ok =
      d2xx.Write(adapter->handle, const_cast<std::uint8_t*>(samples), size, &written) == kFtOk &&
      written == size;
  if (ok && readings != nullptr) {
    DWORD read = 0;
    ok = d2xx.Read(adapter->handle, readings, size, &read) == kFtOk && read == size;
  }
  transfer = {nullptr, nullptr, count, ok};
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
