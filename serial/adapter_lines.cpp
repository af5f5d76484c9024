#include "serial/adapter_lines.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serial/module_state.h"
#include "serial/rezero.h"

namespace {

using device_seam::LineCode;

// The sample rate is measured against the host's clock: first roughly, to
// learn whether the adapter clocks 4 or 16 samples per programmed baud
// (sources disagree), then for long enough that a millisecond of USB
// scheduling on either time stamp moves the result by under 1 %.
constexpr double kIdentifyMs = 20;
constexpr double kMeasureMs = 150;
constexpr double kIdentifyLowest = 0.80;
constexpr double kIdentifyHighest = 1.10;
// Host delays only ever make the measured rate lower than the true one;
// a rate much higher than asked is one the program cannot explain.
constexpr double kLowestTrusted = 0.90;
constexpr double kHighestTrusted = 1.05;
// Waits are made for a rate this much above the higher of the measured and
// the asked rate, for what is left of the measurement's uncertainty.
constexpr double kRateMargin = 1.02;
// The largest transmit buffer of an FTDI channel (FT2232H): what the
// adapter may still hold when it has taken the last submission.
constexpr std::size_t kLargestAdapterBuffer = 4096;
// Twice that, so that a measurement's time stamps are taken with the
// adapter's buffer full and exactly its samples went out between them.
constexpr std::size_t kFillSamples = 2 * kLargestAdapterBuffer;

double HostMs() {
  return static_cast<double>(counter_seam::ReadCounter()) / rezero_state::TicksPerMs();
}

void SpinMs(double durationMs) { rezero_state::SpinFrom(counter_seam::ReadCounter(), durationMs); }

// What the adapter may still be clocking out when it has taken everything,
// at the slowest rate the baud rate could give.
double DrainMsAt(double slowestSamplesPerMs) {
  return static_cast<double>(kLargestAdapterBuffer) / slowestSamplesPerMs;
}

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

bool Near(double rate, double asked) {
  return rate >= asked * kIdentifyLowest && rate <= asked * kIdentifyHighest;
}

}  // namespace

bool BitBangTurnedOff() {
  const char* setting = std::getenv(kBitBangSetting);
  if (setting == nullptr) return false;
  std::string value(setting);
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return value == "off" || value == "0" || value == "no" || value == "false";
}

AdapterLineDriver::AdapterLineDriver(adapter_seam::Adapter* adapter)
    : adapter_(adapter), slots_(std::make_unique<std::array<Slot, kSlots>>()) {
  if (!MeasureSampleRate()) Fail();
}

AdapterLineDriver::~AdapterLineDriver() {
  if (adapter_ == nullptr) return;
  FinishAll();
  adapter_seam::CloseAdapter(adapter_);
}

bool AdapterLineDriver::Finish(Slot& slot) {
  if (!slot.pending) return true;
  slot.pending = false;
  const bool ok = adapter_seam::Complete(adapter_, slot.transfer);
  if (readingPins_) {
    if (ok) {
      TakeReadings(slot);
    } else {
      readingFailed_ = true;
    }
  }
  return ok;
}

// Slots finish oldest first, so the readings asked for come in order.
void AdapterLineDriver::TakeReadings(const Slot& slot) {
  while (levels_.Count() < wantedCount_ && wanted_[levels_.Count()] < slot.first + slot.count) {
    const std::uint64_t sample = wanted_[levels_.Count()];
    if (sample < slot.first) {
      readingFailed_ = true;
      return;
    }
    levels_.Add((slot.readings[sample - slot.first] & kCtsPin) == 0);
  }
}

// Oldest first: the one after the slot being filled.
bool AdapterLineDriver::FinishAll() {
  bool ok = true;
  for (std::size_t i = 1; i <= kSlots; ++i) ok = Finish((*slots_)[(current_ + i) % kSlots]) && ok;
  return ok;
}

// The port is lost: the lines are released as far as the adapter still
// takes samples, and the adapter is given back.
void AdapterLineDriver::Fail() {
  if (failed_ || adapter_ == nullptr) return;
  failed_ = true;
  FinishAll();
  filled_ = 0;
  Slot& slot = (*slots_)[current_];
  slot.samples[0] = kReleasedPins;
  if (adapter_seam::Submit(adapter_, slot.samples.data(), 1,
                           readingPins_ ? slot.readings.data() : nullptr, slot.transfer) &&
      adapter_seam::Complete(adapter_, slot.transfer)) {
    SpinMs(drainMs_);
  }
  adapter_seam::CloseAdapter(adapter_);
  adapter_ = nullptr;
}

void AdapterLineDriver::SubmitGathered() {
  if (filled_ == 0 || failed_) return;
  Slot& slot = (*slots_)[current_];
  slot.transfer = {};
  slot.count = filled_;
  slot.first = gatheredSince_ - filled_;
  slot.pending = adapter_seam::Submit(adapter_, slot.samples.data(), filled_,
                                      readingPins_ ? slot.readings.data() : nullptr, slot.transfer);
  filled_ = 0;
  current_ = (current_ + 1) % kSlots;
  if (!slot.pending) {
    Fail();
    return;
  }
  // The next slot is filled anew only once the adapter has taken it.
  if (!Finish((*slots_)[current_])) Fail();
}

void AdapterLineDriver::Gather(std::uint8_t sample, std::size_t count) {
  if (count == 0) return;
  gathered_ = sample;
  while (count > 0 && !failed_) {
    Slot& slot = (*slots_)[current_];
    const std::size_t take = std::min(count, slot.samples.size() - filled_);
    std::memset(slot.samples.data() + filled_, sample, take);
    filled_ += take;
    if (readingPins_) gatheredSince_ += take;
    count -= take;
    if (filled_ == slot.samples.size()) SubmitGathered();
  }
}

// Everything switched so far goes to the adapter, and it has taken it.
bool AdapterLineDriver::SendAll() {
  if (pins_ != gathered_) Gather(pins_, 1);
  SubmitGathered();
  if (failed_) return false;
  if (!FinishAll()) {
    Fail();
    return false;
  }
  return true;
}

// Samples per millisecond, timed on the host over count samples.
double AdapterLineDriver::ClockedRate(std::size_t count) {
  Gather(kReleasedPins, kFillSamples);
  if (!SendAll()) return 0;
  const double start = HostMs();
  Gather(kReleasedPins, count);
  if (!SendAll()) return 0;
  const double took = HostMs() - start;
  return took > 0 ? static_cast<double>(count) / took : 0;
}

bool AdapterLineDriver::MeasureSampleRate() {
  const double asked = kSampleRateHz / 1000;
  if (!adapter_seam::SetBaudRate(adapter_, static_cast<int>(kSampleRateHz / 16))) return false;
  drainMs_ = DrainMsAt(asked / 4 * kIdentifyLowest);
  double rate = ClockedRate(static_cast<std::size_t>(asked * kIdentifyMs));
  if (Near(rate * 4, asked)) {
    // Four samples per baud: ask four times the baud rate.
    if (!adapter_seam::SetBaudRate(adapter_, static_cast<int>(kSampleRateHz / 4))) return false;
  } else if (!Near(rate, asked)) {
    return false;
  }
  rate = ClockedRate(static_cast<std::size_t>(asked * kMeasureMs));
  if (rate < asked * kLowestTrusted || rate > asked * kHighestTrusted) return false;
  samplesPerMs_ = std::max(rate, asked) * kRateMargin;
  drainMs_ = DrainMsAt(std::min(rate, asked) * kLowestTrusted);
  return true;
}

void AdapterLineDriver::Switch(LineCode code) {
  if (failed_) return;
  const std::uint8_t next = PinsAfter(pins_, code);
  if (next == pins_) return;
  // A switch that no wait follows still holds for one sample, so that
  // every switch reaches the pins, in its order.
  if (pins_ != gathered_) Gather(pins_, 1);
  pins_ = next;
}

void AdapterLineDriver::Wait(double durationMs) {
  // A lost port: the host spins, as it does for a serial port.
  if (failed_) {
    rezero_state::HostWait(durationMs);
    return;
  }
  const auto count =
      durationMs > 0 ? static_cast<std::size_t>(std::ceil(durationMs * samplesPerMs_)) : 0;
  Gather(pins_, count);
  if (durationMs >= kIdleWorkMinimumMs) {
    // The adapter has the whole wait before the idle work starts.
    SubmitGathered();
    if (rezero_state::idleWork != nullptr && !failed_) rezero_state::idleWork->DuringWait();
  }
}

bool AdapterLineDriver::LineLost() {
  if (!failed_) SendAll();
  return failed_;
}

// The adapter changes mode only once what it holds is out, so that no
// sample is clocked out in the wrong one.
bool AdapterLineDriver::StartReadingPins() {
  if (!SendAll()) return false;
  SpinMs(drainMs_);
  if (!adapter_seam::StartReadingPins(adapter_)) {
    Fail();
    return false;
  }
  readingPins_ = true;
  return true;
}

bool AdapterLineDriver::ReadDataIn() {
  if (failed_ || (!readingPins_ && !StartReadingPins())) return false;
  if (wantedCount_ == wanted_.size()) return false;
  // The pins as switched: a switch that no wait followed holds its sample.
  if (pins_ != gathered_) Gather(pins_, 1);
  // The next sample's reading is taken just before it goes out: it shows
  // the lines as they stand now.
  wanted_[wantedCount_++] = gatheredSince_;
  return !failed_;
}

bool AdapterLineDriver::CollectDataIn(std::span<bool> levels) {
  // The sample after the last reading asked for must go out too.
  if (wantedCount_ > 0 && wanted_[wantedCount_ - 1] == gatheredSince_) Gather(pins_, 1);
  const bool sent = !failed_ && SendAll();
  const bool whole = sent && !readingFailed_ && levels_.Count() == wantedCount_;
  wantedCount_ = 0;
  readingFailed_ = false;
  return levels_.TakeInto(levels) && whole;
}

std::optional<LineCost> AdapterLineDriver::KnownCost() const {
  if (failed_ || samplesPerMs_ <= 0) return std::nullopt;
  return LineCost{1 / samplesPerMs_, 1 / samplesPerMs_};
}

void AdapterLineDriver::Release() {
  // Ending bit-bang mode would cut off what the adapter still holds.
  if (!failed_ && SendAll()) SpinMs(drainMs_);
  if (adapter_ != nullptr) {
    adapter_seam::CloseAdapter(adapter_);
    adapter_ = nullptr;
  }
  failed_ = true;
}
