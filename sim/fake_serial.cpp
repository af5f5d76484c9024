#include "sim/fake_serial.h"

#include <array>
#include <memory>
#include <string>

#include "serial/device_seam.h"
#include "sim/chip_model.h"
#include "sim/chip_options.h"
#include "sim/level_shifter.h"

namespace fake_serial {
namespace {

struct Device {
  DeviceState state = DeviceState::Absent;
  int failAfterSwitches = -1;
  int acceptedSwitches = 0;
  bool open = false;
  LineBehaviour behaviour;
  // A faked break's character: when TXD goes idle by itself, and when the
  // character is out.
  bool releasePending = false;
  std::int64_t releaseNs = 0;
  std::int64_t characterOutNs = 0;
  std::vector<LineEvent> events;
  CallCounts counts;
  bool rtsOn = false;
  // Made at the first read that needs it, and fed the events since.
  std::unique_ptr<ChipModel> chip;
  LevelShifter shifter;
  std::size_t fedEvents = 0;
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

// Time passes on the counter that the program reads, virtual or real.
void SpinUntil(std::int64_t ns) {
  while (NowNs() < ns) {
  }
}

// Events stay in time order: a faked break's own release comes first when
// it is due.
void Record(Device& device, const LineEvent& event) {
  if (device.releasePending && device.releaseNs <= event.ns) {
    device.releasePending = false;
    device.events.push_back({device.releaseNs, PortLine::Txd, false});
  }
  if (event.line == PortLine::Rts) device.rtsOn = event.on;
  device.events.push_back(event);
}

bool IsBreakCode(device_seam::LineCode code) {
  return code == device_seam::LineCode::SetBreak || code == device_seam::LineCode::ClearBreak;
}

// Carries out one accepted switch, taking the time the device takes for it.
void Switch(Device& device, device_seam::LineCode code) {
  const LineBehaviour& behaviour = device.behaviour;
  const bool isBreak = IsBreakCode(code);
  const std::int64_t cost =
      isBreak && behaviour.breakCostNs >= 0 ? behaviour.breakCostNs : behaviour.switchCostNs;
  if (cost > 0) SpinUntil(NowNs() + cost);
  if (isBreak && behaviour.fakedBreak) {
    // Either way the driver first waits for the character it sent before.
    SpinUntil(device.characterOutNs);
    if (code == device_seam::LineCode::SetBreak) {
      const std::int64_t now = NowNs();
      device.releasePending = true;
      device.releaseNs = now + kFakedBreakLowNs;
      device.characterOutNs = now + kFakedBreakClearNs;
      Record(device, EventFor(code, now));
      return;
    }
  }
  Record(device, EventFor(code, NowNs()));
}

bool ChipMiso(Device& device) {
  if (!device.chip) {
    device.chip = std::make_unique<ChipModel>();
    if (device.behaviour.pageWriteNs >= 0)
      device.chip->SetPageWriteNs(device.behaviour.pageWriteNs);
    if (device.behaviour.weakCell >= 0) {
      device.chip->SetWeakCell(static_cast<std::size_t>(device.behaviour.weakCell));
    }
    ApplyChipOptions(device.behaviour.chip, *device.chip);
    device.shifter = LevelShifter(device.behaviour.shifterNs);
  }
  // A faked break's own release may be due by now.
  if (device.releasePending && device.releaseNs <= NowNs()) {
    device.releasePending = false;
    device.events.push_back({device.releaseNs, PortLine::Txd, false});
  }
  for (; device.fedEvents < device.events.size(); ++device.fedEvents) {
    device.shifter.Feed(*device.chip, device.events[device.fedEvents]);
  }
  return device.shifter.Miso(*device.chip, NowNs());
}

bool Cts(Device& device) {
  switch (device.behaviour.cable) {
    case Cable::NoLineBack: return false;
    case Cable::MisoOnCts: return ChipMiso(device);
    case Cable::MisoOnCtsInverted: return !ChipMiso(device);
    case Cable::RtsLoopedBack: return device.rtsOn;
  }
  return false;
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

void SetLineBehaviour(std::string_view name, const LineBehaviour& behaviour) {
  if (Device* device = DeviceNamed(name)) device->behaviour = behaviour;
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
  fake_serial::Switch(*device, code);
  return true;
}

bool ReadCts(Handle handle, bool& on) {
  auto* device = fake_serial::DeviceOf(handle);
  if (device == nullptr) return false;
  ++device->counts.reads;
  // Once the adapter has gone, it answers nothing either.
  if (device->failAfterSwitches >= 0 && device->acceptedSwitches >= device->failAfterSwitches) {
    ++device->counts.failedReads;
    return false;
  }
  const fake_serial::LineBehaviour& behaviour = device->behaviour;
  const std::int64_t cost =
      behaviour.readCostNs >= 0 ? behaviour.readCostNs : behaviour.switchCostNs;
  if (cost > 0) fake_serial::SpinUntil(fake_serial::NowNs() + cost);
  on = fake_serial::Cts(*device);
  return true;
}

void CloseDevice(Handle handle) {
  if (auto* device = fake_serial::DeviceOf(handle)) {
    device->open = false;
    ++device->counts.closes;
    // A faked break's character goes out whether the port is held or not.
    if (device->releasePending) {
      device->releasePending = false;
      device->events.push_back({device->releaseNs, PortLine::Txd, false});
    }
  }
}

std::string DeviceDriverName(std::string_view deviceName) {
  const auto* device = fake_serial::DeviceNamed(deviceName);
  return device != nullptr ? device->behaviour.driver : std::string();
}

// The devices that are present, as the system would list them.
std::vector<PortEntry> ListPorts() {
  std::vector<PortEntry> ports;
  for (std::size_t i = 0; i < fake_serial::kDeviceCount; ++i) {
    const auto& device = fake_serial::devices[i];
    if (device.state == fake_serial::DeviceState::Absent) continue;
    ports.push_back({"COM" + std::to_string(i + 1), device.behaviour.driver});
  }
  return ports;
}

}  // namespace device_seam
