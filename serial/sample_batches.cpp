#include "serial/sample_batches.h"

#include <algorithm>
#include <cstring>

#include "serial/host_clock.h"
#include "serial/pin_readings.h"

namespace {

double HostMs() {
  return static_cast<double>(counter_seam::ReadCounter()) / host_clock::TicksPerMs();
}

}  // namespace

SampleBatches::SampleBatches(adapter_seam::Adapter* adapter)
    : adapter_(adapter), slots_(std::make_unique<std::array<Slot, kSlots>>()) {}

SampleBatches::~SampleBatches() {
  if (adapter_ == nullptr) return;
  FinishAll();
  adapter_seam::CloseAdapter(adapter_);
}

bool SampleBatches::Finish(Slot& slot) {
  if (!slot.pending) return true;
  slot.pending = false;
  const bool ok = adapter_seam::Complete(adapter_, slot.transfer);
  if (ok && slot.stamp >= 0) stampMs_[static_cast<std::size_t>(slot.stamp)] = HostMs();
  slot.stamp = -1;
  if (readings_ != nullptr) {
    if (ok) {
      readings_->Take(std::span(slot.readings).first(slot.count), slot.first);
    } else {
      readings_->Missed();
    }
  }
  return ok;
}

// Oldest first, through the given slot; the later ones stay on their way.
bool SampleBatches::FinishThrough(std::size_t last) {
  for (std::size_t i = 1; i <= kSlots; ++i) {
    const std::size_t index = (current_ + i) % kSlots;
    if (!Finish((*slots_)[index])) {
      Lose();
      return false;
    }
    if (index == last) break;
  }
  return true;
}

// Oldest first: the one after the slot being filled.
bool SampleBatches::FinishAll() {
  bool ok = true;
  for (std::size_t i = 1; i <= kSlots; ++i) ok = Finish((*slots_)[(current_ + i) % kSlots]) && ok;
  return ok;
}

bool SampleBatches::WaitForSubmitted(std::size_t back) {
  return !lineLost_ && FinishThrough(Before(back));
}

void SampleBatches::Lose() {
  if (lineLost_ || adapter_ == nullptr) return;
  lineLost_ = true;
  FinishAll();
  filled_ = 0;
  Slot& slot = (*slots_)[current_];
  slot.samples[0] = kReleasedPins;
  if (adapter_seam::Submit(adapter_, slot.samples.data(), 1,
                           readings_ != nullptr ? slot.readings.data() : nullptr, slot.transfer) &&
      adapter_seam::Complete(adapter_, slot.transfer)) {
    host_clock::SpinFrom(counter_seam::ReadCounter(), drainMs_);
  }
  adapter_seam::CloseAdapter(adapter_);
  adapter_ = nullptr;
}

void SampleBatches::Release() {
  // Ending bit-bang mode would cut off what the adapter still holds.
  if (!lineLost_ && SendAll()) host_clock::SpinFrom(counter_seam::ReadCounter(), drainMs_);
  if (adapter_ != nullptr) {
    adapter_seam::CloseAdapter(adapter_);
    adapter_ = nullptr;
  }
  lineLost_ = true;
}

void SampleBatches::Submit() {
  if (filled_ == 0 || lineLost_) return;
  Slot& slot = (*slots_)[current_];
  slot.transfer = {};
  slot.stamp = -1;
  slot.count = filled_;
  slot.first = gathered_ - filled_;
  slot.pending =
      adapter_seam::Submit(adapter_, slot.samples.data(), filled_,
                           readings_ != nullptr ? slot.readings.data() : nullptr, slot.transfer);
  filled_ = 0;
  current_ = (current_ + 1) % kSlots;
  if (!slot.pending) {
    Lose();
    return;
  }
  // The next slot is filled anew only once the adapter has taken it.
  if (!Finish((*slots_)[current_])) Lose();
}

void SampleBatches::Gather(std::uint8_t sample, std::size_t count) {
  if (count == 0) return;
  lastSample_ = sample;
  while (count > 0 && !lineLost_) {
    Slot& slot = (*slots_)[current_];
    const std::size_t take = std::min(count, slot.samples.size() - filled_);
    std::memset(slot.samples.data() + filled_, sample, take);
    filled_ += take;
    gathered_ += take;
    count -= take;
    if (filled_ == slot.samples.size()) Submit();
  }
}

bool SampleBatches::SendAll() {
  Submit();
  if (lineLost_) return false;
  if (!FinishAll()) {
    Lose();
    return false;
  }
  return true;
}

void SampleBatches::MarkStamp(std::uint8_t holding) {
  // Where the last submission ends here but has already been taken, one
  // sample more makes a submission to wait for.
  if (filled_ == 0 && !(*slots_)[Before(1)].pending) Gather(holding, 1);
  Submit();
  if (lineLost_) return;
  const std::size_t slot = Before(1);
  const std::size_t stamp = stamps_++;
  (*slots_)[slot].stamp = static_cast<int>(stamp);
  stampSlot_[stamp] = slot;
  stampCount_[stamp] = gathered_;
}

bool SampleBatches::WaitForStamp(std::size_t stamp) {
  return !lineLost_ && FinishThrough(stampSlot_[stamp]);
}

bool SampleBatches::SetBaudRate(int baudRate) {
  return !lineLost_ && adapter_seam::SetBaudRate(adapter_, baudRate);
}

// The adapter changes mode only once what it holds is out, so that no
// sample is clocked out in the wrong one.
bool SampleBatches::StartReadingPins(PinReadings& readings) {
  if (!SendAll()) return false;
  host_clock::SpinFrom(counter_seam::ReadCounter(), drainMs_);
  if (!adapter_seam::StartReadingPins(adapter_)) {
    Lose();
    return false;
  }
  readings_ = &readings;
  return true;
}
