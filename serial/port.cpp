#include <memory>
#include <string>
#include <string_view>

// The port: it holds the handle and chooses the line driver, which it hands
// the handle; the clock's waits reach that driver by the route set here.
#include "serial/adapter_lines.h"
#include "serial/host_clock.h"
#include "serial/line_choice.h"
#include "serial/module_reset.h"
#include "serial/port_names.h"
#include "serial/rezero.h"
#include "serial/serial_lines.h"

using device_seam::LineCode;

device_seam::Handle PortHandle = 0;

namespace {

// The one active driver: the serial port's own lines, unless the port's
// adapter or a dry run has them.
SerialLineDriver serialLines;
std::unique_ptr<LineDriver> adapterLines;
LineDriver* activeLines = &serialLines;

void WaitOnActiveLines(double durationMs) { activeLines->Wait(durationMs); }

// The serial port's waits are the host's own spin, which the clock makes
// without a route.
void Activate(LineDriver& driver) {
  activeLines = &driver;
  host_clock::RouteWaits(activeLines == &serialLines ? nullptr : WaitOnActiveLines);
}

void HoldHandle(device_seam::Handle handle) {
  PortHandle = handle;
  serialLines.Use(handle);
}

void LetGoOfAdapter() {
  if (!adapterLines) return;
  adapterLines->Release();
  adapterLines.reset();
  Activate(serialLines);
}

}  // namespace

LineDriver& ActiveLineDriver() { return *activeLines; }

bool OpenPort(std::string_view mode) {
  LetGoOfAdapter();
  // Compared as unsigned so that the invalid handle of a failed open is
  // closed as well.
  if (static_cast<std::uintptr_t>(PortHandle) != 0) device_seam::CloseDevice(PortHandle);
  serialLines.Restart();
  HoldHandle(device_seam::OpenDevice(device_seam::ModeDevice(mode)));
  const std::string modeText(mode);
  const bool configured = device_seam::ConfigureDevice(PortHandle, modeText.c_str());
  SetPortTimeouts(10);
  return configured;
}

std::string ModeStringForPort(std::string_view portName) {
  const bool pastNine = portName.size() > 4 && portName.starts_with("COM");
  return (pastNine ? "\\\\.\\" : "") + std::string(portName) +
         std::string(device_seam::kPortSettings);
}

LineDriverChoice ChooseLineDriver(std::string_view mode) {
  LetGoOfAdapter();
  if (BitBangTurnedOff() || !adapter_seam::IsAdapter(device_seam::ModeDevice(mode))) {
    return LineDriverChoice::SerialPort;
  }
  const std::string modeText(mode);
  adapter_seam::Adapter* adapter =
      adapter_seam::OpenAdapter(modeText.c_str(), kOutputPins, PortHandle);
  // Where the serial port was given up for the adapter, its handle changed.
  serialLines.Use(PortHandle);
  if (adapter == nullptr) {
    // Given up for the adapter and not had back: nothing may run on it.
    if (PortHandle == device_seam::kInvalidHandle) return LineDriverChoice::LineLost;
    return LineDriverChoice::SerialPort;
  }
  adapterLines = std::make_unique<AdapterLineDriver>(adapter);
  Activate(*adapterLines);
  return adapterLines->LineLost() ? LineDriverChoice::LineLost : LineDriverChoice::Adapter;
}

void SetPortTimeouts(std::uint32_t timeoutMs) {
  device_seam::SetDeviceTimeouts(PortHandle, timeoutMs);
}

void ClosePort() {
  LetGoOfAdapter();
  device_seam::CloseDevice(PortHandle);
  HoldHandle(0);
}

void SetDtrLine(bool on) { activeLines->Switch(on ? LineCode::SetDtr : LineCode::ClearDtr); }
void SetRtsLine(bool on) { activeLines->Switch(on ? LineCode::SetRts : LineCode::ClearRts); }
void SetTxdLine(bool on) { activeLines->Switch(on ? LineCode::SetBreak : LineCode::ClearBreak); }

bool LineLostSinceOpen() {
  activeLines->Flush();
  return activeLines->LineLost();
}

bool ReadMisoLine() { return activeLines->ReadMiso(); }
bool CollectMisoLevels(std::span<bool> levels) { return activeLines->CollectMiso(levels); }

std::string PortDriverName(std::string_view mode) {
  return device_seam::DeviceDriverName(device_seam::ModeDevice(mode));
}

std::vector<PresentPort> PresentPorts() {
  std::vector<PresentPort> ports;
  for (device_seam::PortEntry& entry : device_seam::ListPorts()) {
    const bool adapter = adapter_seam::IsAdapter(entry.name);
    ports.push_back({std::move(entry.name), std::move(entry.driver), adapter});
  }
  return ports;
}

ScopedLineDriver::ScopedLineDriver(LineDriver& driver) : previous_(activeLines) {
  Activate(driver);
}

ScopedLineDriver::~ScopedLineDriver() { Activate(*previous_); }

void ResetSerialModule() {
  if (PortHandle != 0) ClosePort();
  adapterLines.reset();
  serialLines.Restart();
  host_clock::Reset();
  Activate(serialLines);
}
