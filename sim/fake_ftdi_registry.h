// What FTDI's driver writes into the Windows registry when it gives one of
// its devices a COM number, for the fakes and the tests under Wine: the
// program looks there to tell an FTDI adapter's COM port from any other.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace fake_ftdi_registry {

inline constexpr const char* kFtdiBus = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

// Device stands for the device's USB identity; one entry per device.
inline void RecordComNumber(int device, int comNumber) {
  char key[160];
  std::snprintf(key, sizeof key, "%s\\VID_0403+PID_6001+FAKE%dA\\0000\\Device Parameters", kFtdiBus,
                device);
  char port[16];
  std::snprintf(port, sizeof port, "COM%d", comNumber);
  HKEY parameters = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE, nullptr, &parameters,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(parameters, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                 static_cast<DWORD>(std::strlen(port) + 1));
  RegCloseKey(parameters);
}

inline void ForgetComNumbers() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kFtdiBus); }

}  // namespace fake_ftdi_registry
