#include "serial/adapter_lines.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "serial/host_clock.h"

namespace {

using device_seam::LineCode;

std::uint8_t PinsAfter(std::uint8_t before, LineCode code) {
  switch (code) {
    case LineCode::SetRts: return before & static_cast<std::uint8_t>(~kRtsPin);
    case LineCode::ClearRts: return before | kRtsPin;
    case LineCode::SetDtr: return before & static_cast<std::uint8_t>(~kDtrPin);
    case LineCode::ClearDtr: return before | kDtrPin;
    case LineCode::SetBreak: return before & static_cast<std::uint8_t>(~kTxdPin);
    case LineCode::ClearBreak: return before | kTxdPin;
  }
  return before;
}

}  // namespace

bool BitBangTurnedOff() {
  const char* setting = std::getenv(kBitBangSetting);
  if (setting == nullptr) return false;
  std::string value(setting);
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return value == "off" || value == "0" || value == "no" || value == "false";
}

AdapterLineDriver::AdapterLineDriver(adapter_seam::Adapter* adapter) : batches_(adapter) {
  if (!rate_.Look()) batches_.Lose();
}

// A switch that no wait follows still holds for one sample, so that every
// switch reaches the pins, in its order.
void AdapterLineDriver::HoldLastSwitch() {
  if (pins_ != batches_.LastGathered()) batches_.Gather(pins_, 1);
}

void AdapterLineDriver::Switch(LineCode code) {
  if (batches_.LineLost()) return;
  const std::uint8_t next = PinsAfter(pins_, code);
  if (next == pins_) return;
  HoldLastSwitch();
  pins_ = next;
}

void AdapterLineDriver::Wait(double durationMs) {
  const bool measured = rate_.Measuring() && !batches_.LineLost() && durationMs > 0;
  const std::size_t count =
      measured ? rate_.MeasureDuring(durationMs, pins_) : rate_.WaitSamples(durationMs);
  // A lost port: the host spins, as it does for a serial port.
  if (batches_.LineLost()) {
    host_clock::HostWait(durationMs);
    return;
  }
  batches_.Gather(pins_, count);
  if (durationMs >= kIdleWorkMinimumMs && !measured) {
    // The adapter has the whole wait before the idle work starts.
    batches_.Submit();
    if (host_clock::idleWork != nullptr && !batches_.LineLost()) host_clock::idleWork->DuringWait();
  }
}

void AdapterLineDriver::Flush() {
  // The host may turn to other work next: a measurement under way is
  // finished first, the lines held as they are.
  rate_.Finish(pins_);
  if (batches_.LineLost()) return;
  HoldLastSwitch();
  batches_.SendAll();
}

bool AdapterLineDriver::ReadMiso() {
  if (batches_.LineLost()) return false;
  if (!readingPins_) {
    // Once a measurement under way is finished, so that the drain does not
    // count as its samples' time.
    Flush();
    if (batches_.LineLost() || !batches_.StartReadingPins(readings_)) return false;
    readingPins_ = true;
  }
  HoldLastSwitch();
  // The next sample's reading is taken just before it goes out: it shows
  // the lines as they stand now.
  return readings_.Ask(batches_.Gathered()) && !batches_.LineLost();
}

bool AdapterLineDriver::CollectMiso(std::span<bool> levels) {
  // The sample after the last reading asked for must go out too.
  if (readings_.LastAskedIs(batches_.Gathered())) batches_.Gather(pins_, 1);
  bool sent = false;
  if (!batches_.LineLost()) {
    HoldLastSwitch();
    sent = batches_.SendAll();
  }
  return readings_.Collect(levels) && sent;
}

std::optional<LineCost> AdapterLineDriver::KnownCost() const {
  const double perMs = rate_.SamplesPerMs();
  if (batches_.LineLost() || perMs <= 0) return std::nullopt;
  return LineCost{1 / perMs, 1 / perMs};
}

void AdapterLineDriver::Release() {
  if (!batches_.LineLost()) HoldLastSwitch();
  batches_.Release();
}
