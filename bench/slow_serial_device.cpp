#include "bench/slow_serial_device.h"

#include <memory>
#include <span>
#include <string>

#include "serial/device_seam.h"
#include "sim/chip_model.h"
#include "sim/chip_options.h"
#include "sim/virtual_counter.h"

namespace slow_serial {
namespace {
constexpr device_seam::Handle kHandle = 100;
std::int64_t costNs = 0;
std::vector<LineEvent> events;
Cable cable = Cable::NoLineBack;
std::unique_ptr<ChipModel> chip;
std::size_t fedEvents = 0;
}  // namespace

void Reset(std::int64_t switchNs, Cable lineBack, const std::string& chipOptions) {
  costNs = switchNs;
  events.clear();
  events.reserve(1 << 22);
  cable = lineBack;
  chip = std::make_unique<ChipModel>();
  ApplyChipOptions(chipOptions, *chip);
  fedEvents = 0;
}

const std::vector<LineEvent>& Events() { return events; }

ChipModel& Chip() {
  chip->Feed(std::span<const LineEvent>(events).subspan(fedEvents));
  fedEvents = events.size();
  return *chip;
}

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

bool ReadCts(Handle handle, bool& on) {
  if (handle != slow_serial::kHandle) return false;
  switch (slow_serial::cable) {
    case Cable::MisoOnCts: on = slow_serial::Chip().Miso(); break;
    case Cable::MisoOnCtsInverted: on = !slow_serial::Chip().Miso(); break;
    default: on = false; break;
  }
  return true;
}

void CloseDevice(Handle /*handle*/) {}

std::string DeviceDriverName(std::string_view /*deviceName*/) { return {}; }

std::vector<PortEntry> ListPorts() { return {}; }

}  // namespace device_seam
