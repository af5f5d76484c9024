#include <string>
#include <string_view>

#include "serial/bitbang_lines.h"
#include "serial/module_state.h"
#include "serial/rezero.h"

using device_seam::LineCode;

device_seam::Handle PortHandle = 0;

namespace rezero_state {
bool lineFailed = false;
WaitIdleWork* idleWork = nullptr;
bool linesOnAdapter = false;
}  // namespace rezero_state

using rezero_state::lineFailed;

namespace {

// The hot path of every bit: one call into the seam, one system call below
// (or, on an adapter that clocks out the lines, a sample gathered).
inline void Switch(LineCode code) {
  if (rezero_state::linesOnAdapter && bitbang::Switch(code)) return;
  if (!device_seam::SwitchLine(PortHandle, code)) lineFailed = true;
}

void LetGoOfAdapter() {
  if (rezero_state::linesOnAdapter) bitbang::Close();
}

}  // namespace

bool OpenPort(std::string_view mode) {
  LetGoOfAdapter();
  // Compared as unsigned so that the invalid handle of a failed open is
  // closed as well.
  if (static_cast<std::uintptr_t>(PortHandle) != 0) device_seam::CloseDevice(PortHandle);
  lineFailed = false;
  PortHandle = device_seam::OpenDevice(mode.substr(0, 4));
  const std::string modeText(mode);
  const bool configured = device_seam::ConfigureDevice(PortHandle, modeText.c_str());
  SetPortTimeouts(10);
  if (configured) bitbang::Consider(modeText.c_str());
  return configured;
}

void SetPortTimeouts(std::uint32_t timeoutMs) {
  device_seam::SetDeviceTimeouts(PortHandle, timeoutMs);
}

void ClosePort() {
  LetGoOfAdapter();
  device_seam::CloseDevice(PortHandle);
  PortHandle = 0;
}

void SetDtrLine(bool on) { Switch(on ? LineCode::SetDtr : LineCode::ClearDtr); }
void SetRtsLine(bool on) { Switch(on ? LineCode::SetRts : LineCode::ClearRts); }
void SetTxdLine(bool on) { Switch(on ? LineCode::SetBreak : LineCode::ClearBreak); }

bool LineFailedSinceOpen() {
  if (rezero_state::linesOnAdapter) bitbang::Confirm();
  return lineFailed;
}

std::string PortDriverName(std::string_view mode) {
  return device_seam::DeviceDriverName(mode.substr(0, 4));
}

void ResetSerialModule() {
  if (PortHandle != 0) ClosePort();
  bitbang::Reset();
  lineFailed = false;
  rezero_state::idleWork = nullptr;
  MsPerTick = rezero_state::kInitialMsPerTick;
  ClockStart = 0;
}
