#include "bench/slow_serial_device.h"

#include <string>

#include "serial/device_seam.h"
#include "sim/virtual_counter.h"

namespace slow_serial {
namespace {
constexpr device_seam::Handle kHandle = 100;
std::int64_t costNs = 0;
std::vector<LineEvent> events;
}  // namespace

void Reset(std::int64_t switchNs) {
  costNs = switchNs;
  events.clear();
  events.reserve(1 << 22);
}

const std::vector<LineEvent>& Events() { return events; }

}  // namespace slow_serial

namespace device_seam {

Handle OpenDevice(std::string_view /*deviceName*/) { return slow_serial::kHandle; }
bool ConfigureDevice(Handle handle, const char* /*mode*/) { return handle == slow_serial::kHandle; }
void SetDeviceTimeouts(Handle /*handle*/, std::uint32_t /*timeoutMs*/) {}

bool SwitchLine(Handle handle, LineCode code) {
  if (handle != slow_serial::kHandle) return false;
  // The line changes when the transfer is done.
  virtual_counter::AdvanceTo(virtual_counter::NowNs() + slow_serial::costNs);
  const std::int64_t ns = virtual_counter::NowNs();
  switch (code) {
    case LineCode::SetRts: slow_serial::events.push_back({ns, PortLine::Rts, true}); break;
    case LineCode::ClearRts: slow_serial::events.push_back({ns, PortLine::Rts, false}); break;
    case LineCode::SetDtr: slow_serial::events.push_back({ns, PortLine::Dtr, true}); break;
    case LineCode::ClearDtr: slow_serial::events.push_back({ns, PortLine::Dtr, false}); break;
    case LineCode::SetBreak: slow_serial::events.push_back({ns, PortLine::Txd, true}); break;
    case LineCode::ClearBreak: slow_serial::events.push_back({ns, PortLine::Txd, false}); break;
  }
  return true;
}

// No line comes back from this device.
bool ReadCts(Handle handle, bool& on) {
  on = false;
  return handle == slow_serial::kHandle;
}

void CloseDevice(Handle /*handle*/) {}

std::string DeviceDriverName(std::string_view /*deviceName*/) { return {}; }

std::vector<PortEntry> ListPorts() { return {}; }

}  // namespace device_seam
