// Win32 serial device: the COM port through kernel32's communications API.
#include <windows.h>

#include <algorithm>
#include <string>

#include "serial/device_seam.h"

namespace device_seam {
namespace {

HANDLE AsWin32(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

DWORD EscapeCode(LineCode code) {
  switch (code) {
    case LineCode::SetRts: return SETRTS;
    case LineCode::ClearRts: return CLRRTS;
    case LineCode::SetDtr: return SETDTR;
    case LineCode::ClearDtr: return CLRDTR;
    case LineCode::SetBreak: return SETBREAK;
    case LineCode::ClearBreak: return CLRBREAK;
  }
  return 0;
}

}  // namespace

Handle OpenDevice(std::string_view deviceName) {
  const std::string name(deviceName);
  // Exclusive (share mode 0), synchronous; a failure leaves the invalid
  // handle value, which is what the caller keeps.
  return reinterpret_cast<Handle>(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
}

bool ConfigureDevice(Handle handle, const char* mode) {
  DCB control{};
  control.DCBlength = sizeof control;
  GetCommState(AsWin32(handle), &control);
  // "COM1:9600,N,8,1" as the window gives it; a device path's settings
  // alone, which is the form BuildCommDCB reads besides "COMn:".
  const std::string_view device = ModeDevice(mode);
  BuildCommDCBA(device.size() > 4 ? mode + device.size() + 1 : mode, &control);
  // The whole flag word becomes 1: binary mode on, everything else off,
  // so that no flow control drives DTR or RTS.
  control.fBinary = 1;
  control.fParity = 0;
  control.fOutxCtsFlow = 0;
  control.fOutxDsrFlow = 0;
  control.fDtrControl = DTR_CONTROL_DISABLE;
  control.fDsrSensitivity = 0;
  control.fTXContinueOnXoff = 0;
  control.fOutX = 0;
  control.fInX = 0;
  control.fErrorChar = 0;
  control.fNull = 0;
  control.fRtsControl = RTS_CONTROL_DISABLE;
  control.fAbortOnError = 0;
  control.fDummy2 = 0;
  return SetCommState(AsWin32(handle), &control) != FALSE;
}

void SetDeviceTimeouts(Handle handle, std::uint32_t timeoutMs) {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 1;
  timeouts.ReadTotalTimeoutMultiplier = 1;
  timeouts.ReadTotalTimeoutConstant = timeoutMs;
  timeouts.WriteTotalTimeoutMultiplier = 10;
  timeouts.WriteTotalTimeoutConstant = timeoutMs;
  SetCommTimeouts(AsWin32(handle), &timeouts);
}

bool SwitchLine(Handle handle, LineCode code) {
  return EscapeCommFunction(AsWin32(handle), EscapeCode(code)) != FALSE;
}

bool ReadCts(Handle handle, bool& on) {
  DWORD status = 0;
  if (GetCommModemStatus(AsWin32(handle), &status) == FALSE) return false;
  on = (status & MS_CTS_ON) != 0;
  return true;
}

void CloseDevice(Handle handle) { CloseHandle(AsWin32(handle)); }

// The COM port's driver is not named here: the Device Manager shows it.
std::string DeviceDriverName(std::string_view /*deviceName*/) { return {}; }

}  // namespace device_seam

namespace device_seam {

// The system's list of serial ports: every value of SERIALCOMM names a
// port's device object (\Device\Serial0, \Device\VCP0) and holds its COM
// name. Reading it opens no port.
std::vector<PortEntry> ListPorts() {
  std::vector<PortEntry> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD index = 0;; ++index) {
    char device[256];
    DWORD deviceSize = sizeof device;
    BYTE port[64] = {};
    DWORD portSize = sizeof port - 1;
    DWORD type = 0;
    const LONG status =
        RegEnumValueA(key, index, device, &deviceSize, nullptr, &type, port, &portSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    ports.push_back({reinterpret_cast<const char*>(port), device});
  }
  RegCloseKey(key);
  // COM2 before COM10.
  std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
  });
  return ports;
}

}  // namespace device_seam
