#include "sim/fake_serial.h"

#include <array>
#include <string>

#include "serial/device_seam.h"

namespace fake_serial {
namespace {

struct Device {
  DeviceState state = DeviceState::Absent;
  int failAfterSwitches = -1;
  int acceptedSwitches = 0;
  bool open = false;
  std::vector<LineEvent> events;
  CallCounts counts;
};

// COM1 to COM9, as the device seam may name them.
constexpr std::size_t kDeviceCount = 9;
std::array<Device, kDeviceCount> devices;

// Handles start above the standard streams, like real descriptors.
constexpr device_seam::Handle kFirstHandle = 100;

Device* DeviceNamed(std::string_view name) {
  if (name.size() != 4 || name.substr(0, 3) != "COM" || name[3] < '1' || name[3] > '9') {
    return nullptr;
  }
  return &devices[static_cast<std::size_t>(name[3] - '1')];
}

Device* DeviceOf(device_seam::Handle handle) {
  const auto index = handle - kFirstHandle;
  if (index < 0 || index >= static_cast<device_seam::Handle>(kDeviceCount)) return nullptr;
  Device& device = devices[static_cast<std::size_t>(index)];
  return device.open ? &device : nullptr;
}

std::int64_t NowNs() {
  const std::int64_t ticks = counter_seam::ReadCounter();
  const std::int64_t frequency = counter_seam::CounterFrequency();
  if (frequency == 1'000'000'000) return ticks;
  return static_cast<std::int64_t>(static_cast<double>(ticks) * 1e9 /
                                   static_cast<double>(frequency));
}

LineEvent EventFor(device_seam::LineCode code, std::int64_t ns) {
  using device_seam::LineCode;
  switch (code) {
    case LineCode::SetRts: return {ns, PortLine::Rts, true};
    case LineCode::ClearRts: return {ns, PortLine::Rts, false};
    case LineCode::SetDtr: return {ns, PortLine::Dtr, true};
    case LineCode::ClearDtr: return {ns, PortLine::Dtr, false};
    case LineCode::SetBreak: return {ns, PortLine::Txd, true};
    case LineCode::ClearBreak: return {ns, PortLine::Txd, false};
  }
  return {ns, PortLine::Txd, false};
}

const CallCounts kNoCounts{};
const std::vector<LineEvent> kNoEvents{};

}  // namespace

void Reset() {
  for (Device& device : devices) {
    device = Device{};
    // Room for a whole download, so that recording allocates nothing while
    // bits are being clocked.
    device.events.reserve(1 << 16);
  }
}

void SetDevice(std::string_view name, DeviceState state, int failAfterSwitches) {
  if (Device* device = DeviceNamed(name)) {
    device->state = state;
    device->failAfterSwitches = failAfterSwitches;
    device->acceptedSwitches = 0;
  }
}

const std::vector<LineEvent>& Events(std::string_view name) {
  const Device* device = DeviceNamed(name);
  return device != nullptr ? device->events : kNoEvents;
}

const CallCounts& Counts(std::string_view name) {
  const Device* device = DeviceNamed(name);
  return device != nullptr ? device->counts : kNoCounts;
}

int OpenHandleCount() {
  int count = 0;
  for (const Device& device : devices) count += device.open ? 1 : 0;
  return count;
}

}  // namespace fake_serial

namespace device_seam {

using fake_serial::DeviceState;

Handle OpenDevice(std::string_view deviceName) {
  auto* device = fake_serial::DeviceNamed(deviceName);
  if (device == nullptr) return kInvalidHandle;
  // A held port refuses a second open, as the exclusive open of a real one does.
  if (device->state != DeviceState::Present || device->open) {
    ++device->counts.failedOpens;
    return kInvalidHandle;
  }
  device->open = true;
  ++device->counts.opens;
  return fake_serial::kFirstHandle + (device - fake_serial::devices.data());
}

bool ConfigureDevice(Handle handle, const char* /*mode*/) {
  return fake_serial::DeviceOf(handle) != nullptr;
}

void SetDeviceTimeouts(Handle /*handle*/, std::uint32_t /*timeoutMs*/) {}

bool SwitchLine(Handle handle, LineCode code) {
  auto* device = fake_serial::DeviceOf(handle);
  if (device == nullptr) return false;
  ++device->counts.switches;
  if (device->failAfterSwitches >= 0 && device->acceptedSwitches >= device->failAfterSwitches) {
    ++device->counts.failedSwitches;
    return false;
  }
  ++device->acceptedSwitches;
  device->events.push_back(fake_serial::EventFor(code, fake_serial::NowNs()));
  return true;
}

void CloseDevice(Handle handle) {
  if (auto* device = fake_serial::DeviceOf(handle)) {
    device->open = false;
    ++device->counts.closes;
  }
}

}  // namespace device_seam
