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
// (sources disagree) and to refuse a rate far off, then for long enough
// that a millisecond of USB scheduling on either time stamp moves the
// result by under 1 %.
//
// A host busy elsewhere looks at its clock late. Each rate below is timed
// from a stamp taken once the adapter's buffer is full to one taken once
// it is full again, so exactly the samples sent between went out: a
// late last stamp, or a pause in which the adapter ran dry, makes the rate
// look lower; a late first stamp misses samples that went out before it
// and makes the rate look higher. Which way each figure may go, and why
// none can make a wait short, is said where it is taken.
constexpr double kRoughMs = 20;
constexpr double kMeasureMs = 150;
constexpr double kIdentifyLowest = 0.80;
// What USB latency and scheduling, and a host busy elsewhere for a moment,
// may add to the time that an adapter clocking 16 samples per baud takes
// for the first samples. One clocking 4 still takes longer than that
// allows, under any buffer.
constexpr double kIdentifySlackMs = 12;
// A rate outside these bounds is one the program cannot explain.
constexpr double kLowestTrusted = 0.90;
constexpr double kHighestTrusted = 1.05;
// A look that a busy host may have spoiled is taken again, the multiplier
// found anew; so is the exact measurement. The adapter is refused only
// when none of them is trusted.
constexpr int kMostLooks = 5;
constexpr int kMostMeasurements = 5;
// Waits are made for a rate this much above the higher of the measured and
// the asked rate, for what is left of the measurement's uncertainty.
constexpr double kRateMargin = 1.02;
// Until the exact measurement is done, waits are made for the highest rate
// that it can accept.
constexpr double kHighestPerMs = kSampleRateHz / 1000 * kHighestTrusted * kRateMargin;
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

bool Trusted(double rate) {
  const double asked = kSampleRateHz / 1000;
  return rate >= asked * kLowestTrusted && rate <= asked * kHighestTrusted;
}

std::size_t SamplesFor(double durationMs, double samplesPerMs) {
  return durationMs > 0 ? static_cast<std::size_t>(std::ceil(durationMs * samplesPerMs)) : 0;
}

// The exact measurement is two halves, between three time stamps.
std::size_t HalfSamples() { return SamplesFor(kMeasureMs / 2, kSampleRateHz / 1000); }

// A rate timed in two halves. One late stamp, or one pause in which the
// adapter ran dry, lowers at most one half and raises at most the other,
// so the true rate lies between them: when both are trusted, so is the
// adapter.
struct Halves {
  double lower = 0;
  double higher = 0;
  bool Trusted() const { return ::Trusted(lower) && ::Trusted(higher); }
};

Halves HalvesBetween(const std::array<double, 3>& ms, const std::array<std::size_t, 3>& counts) {
  const auto half = [&](int i) {
    const double took = ms[i + 1] - ms[i];
    return took > 0 ? static_cast<double>(counts[i + 1] - counts[i]) / took : 0;
  };
  return {std::min(half(0), half(1)), std::max(half(0), half(1))};
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
  gatheredCount_ += count;
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

// Three time stamps on the host, and the samples gathered at each, around
// two halves of count samples that hold the lines released. The adapter's
// buffer is full when it starts. False once the port is lost.
bool AdapterLineDriver::Look(std::size_t count, std::array<double, 3>& ms,
                             std::array<std::size_t, 3>& counts) {
  for (std::size_t i = 0; i < ms.size(); ++i) {
    if (i > 0) {
      Gather(kReleasedPins, count / 2);
      if (!SendAll()) return false;
    }
    ms[i] = HostMs();
    counts[i] = gatheredCount_;
  }
  return true;
}

// Whether the adapter clocks four samples per baud: it took the fill's
// samples longer than one clocking sixteen could. Up to a buffer's worth go
// in at once, so a small buffer shows after the first quarter of the fill
// and the largest by the fill's end, which leaves the buffer full. A late
// host only lengthens the time, so it can take a sixteen for a four, never
// the other way: the rate then comes out four times too high, and the
// look is taken again. No wait is made of this answer.
bool AdapterLineDriver::ClocksFourPerBaud() {
  const double slowestPerMs = kSampleRateHz / 1000 * kLowestTrusted;
  const double start = HostMs();
  std::size_t sent = 0;
  for (const std::size_t look : {kFillSamples / 4, kFillSamples - kFillSamples / 4}) {
    Gather(kReleasedPins, look);
    if (!SendAll()) return false;
    sent += look;
    if (HostMs() - start > static_cast<double>(sent) / slowestPerMs + kIdentifySlackMs) return true;
  }
  return false;
}

void AdapterLineDriver::Accept(double rate) {
  const double asked = kSampleRateHz / 1000;
  samplesPerMs_ = std::max(rate, asked) * kRateMargin;
  drainMs_ = DrainMsAt(std::min(rate, asked) * kLowestTrusted);
}

bool AdapterLineDriver::FindMultiplier() {
  const double asked = kSampleRateHz / 1000;
  if (!adapter_seam::SetBaudRate(adapter_, static_cast<int>(kSampleRateHz / 16))) return false;
  drainMs_ = DrainMsAt(asked / 4 * kIdentifyLowest);
  if (ClocksFourPerBaud()) {
    // Four samples per baud: ask four times the baud rate. The buffer is
    // full of samples at the old rate; once it has taken a buffer's worth
    // at the new one, none of those is left.
    if (!adapter_seam::SetBaudRate(adapter_, static_cast<int>(kSampleRateHz / 4))) return false;
    Gather(kReleasedPins, kLargestAdapterBuffer);
    if (!SendAll()) return false;
  }
  return !failed_;
}

// Every sample of a look holds the lines released, so that an adapter the
// program cannot trust is refused before any line moves; it is taken only
// when both halves of a look are trusted, so one late moment cannot bring
// an adapter far off into the range. The first look is short; one that a
// late host pushed out of the trusted range, or that is truly far off, is
// followed by whole-length ones. A look decides only whether the adapter
// is taken: until the exact measurement, waits are made for the highest
// trusted rate (MeasureDuring) and drains for the lowest (Accept),
// whichever way a late host pushed the look.
bool AdapterLineDriver::MeasureSampleRate() {
  const double asked = kSampleRateHz / 1000;
  for (int look = 0; look < kMostLooks; ++look) {
    if (!FindMultiplier()) return false;
    std::array<double, 3> ms{};
    std::array<std::size_t, 3> counts{};
    if (!Look(SamplesFor(look == 0 ? kRoughMs : kMeasureMs, asked), ms, counts)) return false;
    const Halves halves = HalvesBetween(ms, counts);
    if (halves.Trusted()) {
      // Switches cost a sample at this rate until the first waits measure it.
      Accept(halves.higher);
      measuring_ = true;
      return true;
    }
  }
  return false;
}

// The exact measurement is made of the first waits' samples, which hold the
// lines as the program switched them. A wait counts its samples at the
// highest rate the measurement can accept, so that it is never short and no
// switch reaches the pins before its time. Gives the samples the wait still
// needs.
std::size_t AdapterLineDriver::MeasureDuring(double durationMs) {
  const std::size_t before = gatheredCount_;
  const std::size_t highest = SamplesFor(durationMs, kHighestPerMs);
  if (!measurementStarted_) {
    // Whatever the buffer held has gone out; the fill leaves it full.
    Gather(pins_, kFillSamples);
    if (!SendAll()) return 0;
    measurementStarted_ = true;
    stamps_ = 0;
    Stamp();
  }
  while (measuring_ && !failed_ && gatheredCount_ - before < highest) {
    const std::size_t next = stampCount_[stamps_ - 1] + HalfSamples();
    Gather(pins_, std::min(highest - (gatheredCount_ - before), next - gatheredCount_));
    if (gatheredCount_ < next || !Stamp()) break;
  }
  if (measuring_ || failed_) return 0;
  // The rest of the wait at the measured rate.
  const std::size_t needed = SamplesFor(durationMs, samplesPerMs_);
  const std::size_t done = gatheredCount_ - before;
  return needed > done ? needed - done : 0;
}

// A time stamp with the adapter's buffer full; the third one ends a
// measurement. False once the port is lost.
bool AdapterLineDriver::Stamp() {
  if (!SendAll()) return false;
  stampMs_[stamps_] = HostMs();
  stampCount_[stamps_] = gatheredCount_;
  if (++stamps_ < static_cast<int>(stampMs_.size())) return true;
  const Halves halves = HalvesBetween(stampMs_, stampCount_);
  if (halves.Trusted()) {
    measuring_ = false;
    // Waits are made of the higher half: it is not below the true rate,
    // so a wait made for it is not short. Drains are made for the lowest
    // trusted rate or a lower one (Accept), and the true rate is not
    // below the lower half, which is trusted.
    Accept(halves.higher);
    return true;
  }
  if (++measurements_ == kMostMeasurements) {
    Fail();
    return false;
  }
  // Another measurement, from this stamp: the buffer is full.
  stampMs_[0] = stampMs_[2];
  stampCount_[0] = stampCount_[2];
  stamps_ = 1;
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
  const bool measured = measuring_ && !failed_ && durationMs > 0;
  const std::size_t count =
      measured ? MeasureDuring(durationMs) : SamplesFor(durationMs, samplesPerMs_);
  // A lost port: the host spins, as it does for a serial port.
  if (failed_) {
    rezero_state::HostWait(durationMs);
    return;
  }
  Gather(pins_, count);
  if (durationMs >= kIdleWorkMinimumMs && !measured) {
    // The adapter has the whole wait before the idle work starts.
    SubmitGathered();
    if (rezero_state::idleWork != nullptr && !failed_) rezero_state::idleWork->DuringWait();
  }
}

bool AdapterLineDriver::LineLost() {
  // The host may turn to other work next: a measurement under way is
  // finished first, the lines held as they are.
  while (measurementStarted_ && measuring_ && !failed_) {
    const std::size_t next = stampCount_[stamps_ - 1] + HalfSamples();
    if (gatheredCount_ < next) Gather(pins_, next - gatheredCount_);
    Stamp();
  }
  if (!failed_) SendAll();
  return failed_;
}

// The adapter changes mode only once what it holds is out, so that no
// sample is clocked out in the wrong one, and once a measurement under way
// is finished, so that the drain does not count as its samples' time.
bool AdapterLineDriver::StartReadingPins() {
  if (LineLost()) return false;
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
