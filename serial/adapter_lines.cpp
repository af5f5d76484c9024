#include "serial/adapter_lines.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serial/host_clock.h"

namespace {

using device_seam::LineCode;

// The sample rate is measured against the host's clock: first roughly, to
// learn whether the adapter clocks 4 or 16 samples per programmed baud
// (sources disagree) and to refuse a rate far off, then for long enough
// that a millisecond of USB scheduling on either time stamp moves the
// result by under 1 %.
//
// A host busy elsewhere looks at its clock late. Each rate below is timed
// between stamps that the host takes as the adapter has taken the last
// sample of a submission, with its buffer full, so that exactly the
// samples sent between went out. The samples after a stamp are already on
// their way when the host waits for it: a host that comes back late has
// not let the adapter run dry, and the next stretch's time starts as late
// as this one's ends. A busy PC is late at every stamp, and that cancels;
// only lateness that differs between two stamps moves a rate: a late end
// makes it look lower, a late start higher. Which way each figure may go,
// and why none can make a wait short, is said where it is taken.
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
// How far a late start may raise a half before the look or measurement
// counts as spoiled: by the lateness of 15 ms in a whole one's half.
constexpr double kHighestSpoiled = 1.25;
// A look that a busy host may have spoiled is taken again, at the other
// multiplier where it shows that one; so is the exact measurement. Each
// one taken again is twice as long, up to eight times the first, so that
// the same lateness moves it half as much. The adapter is refused only
// when none of them is trusted.
constexpr int kMostLooks = 5;
constexpr int kMostMeasurements = 5;
constexpr int kLongestRetake = 8;
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
  return static_cast<double>(counter_seam::ReadCounter()) / host_clock::TicksPerMs();
}

void SpinMs(double durationMs) { host_clock::SpinFrom(counter_seam::ReadCounter(), durationMs); }

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

// A whole look or measurement, taken again times times before.
std::size_t MeasureSamples(int times) {
  return SamplesFor(kMeasureMs * std::min(1 << times, kLongestRetake), kSampleRateHz / 1000);
}

// A rate timed in two halves. Lateness that one stamp has and the others
// have not lowers at most one half and raises at most the other, and what
// every stamp shares cancels, so the true rate lies between them. The
// adapter is taken when the lower half, a floor, is trusted; the higher
// half, a ceiling, is what waits are made for, and only past
// kHighestSpoiled is the look or measurement taken again. Both halves
// look low only where the host's lateness grew from each stamp to the
// next, by more than the margin that waits are made with (kRateMargin)
// covers: 1.5 ms in each.
struct Halves {
  double lower = 0;
  double higher = 0;
  bool Trusted() const {
    return ::Trusted(lower) && higher <= kSampleRateHz / 1000 * kHighestSpoiled;
  }
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
  if (ok && slot.stamp >= 0) stampMs_[static_cast<std::size_t>(slot.stamp)] = HostMs();
  slot.stamp = -1;
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

// Oldest first, through the given slot; the later ones stay on their way.
bool AdapterLineDriver::FinishThrough(std::size_t last) {
  for (std::size_t i = 1; i <= kSlots; ++i) {
    const std::size_t index = (current_ + i) % kSlots;
    if (!Finish((*slots_)[index])) {
      Fail();
      return false;
    }
    if (index == last) break;
  }
  return true;
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
  slot.stamp = -1;
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

// Ends a submission at the samples gathered so far and has it give the
// next time stamp (Finish), with the samples gathered at it.
void AdapterLineDriver::MarkStamp() {
  // Where the last submission ends here but has already been taken, one
  // sample more makes a submission to wait for.
  if (filled_ == 0 && !(*slots_)[(current_ + kSlots - 1) % kSlots].pending) Gather(pins_, 1);
  SubmitGathered();
  if (failed_) return;
  const std::size_t slot = (current_ + kSlots - 1) % kSlots;
  const auto stamp = static_cast<std::size_t>(stamps_++);
  (*slots_)[slot].stamp = static_cast<int>(stamp);
  stampSlot_[stamp] = slot;
  stampCount_[stamp] = gatheredCount_;
}

// Three time stamps around two halves of count samples that hold the lines
// released. Every sample is on its way before the first stamp is waited
// for; a buffer's worth before it fills the adapter's buffer however late
// the host comes to it. False once the port is lost.
bool AdapterLineDriver::Look(std::size_t count) {
  Gather(kReleasedPins, kLargestAdapterBuffer);
  stamps_ = 0;
  for (int i = 0; i < 3 && !failed_; ++i) {
    if (i > 0) Gather(kReleasedPins, count / 2);
    MarkStamp();
  }
  return !failed_ && FinishThrough(stampSlot_[2]);
}

// Whether the adapter clocks four samples per baud: it took the fill's
// samples longer than one clocking sixteen could. Up to a buffer's worth go
// in at once, so a small buffer shows after the first quarter of the fill
// and the largest by the fill's end, which leaves the buffer full. The
// first quarter is waited for with the second on its way, so that a host
// late there has not let the adapter run dry. A late host only lengthens
// the time, so it can take a sixteen for a four, never the other way: the
// rate then comes out four times too high, and the look is taken again.
// No wait is made of this answer.
bool AdapterLineDriver::ClocksFourPerBaud() {
  const double slowestPerMs = kSampleRateHz / 1000 * kLowestTrusted;
  const auto tookLonger = [&](double start, std::size_t sent) {
    return HostMs() - start > static_cast<double>(sent) / slowestPerMs + kIdentifySlackMs;
  };
  const double start = HostMs();
  constexpr std::size_t kQuarter = kFillSamples / 4;
  Gather(kReleasedPins, kQuarter);
  SubmitGathered();
  const std::size_t first = (current_ + kSlots - 1) % kSlots;
  Gather(kReleasedPins, kQuarter);
  SubmitGathered();
  if (failed_ || !FinishThrough(first)) return false;
  if (tookLonger(start, kQuarter)) return true;
  Gather(kReleasedPins, kFillSamples - 2 * kQuarter);
  if (!SendAll()) return false;
  return tookLonger(start, kFillSamples);
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
// program cannot trust is refused before any line moves. One late moment
// cannot bring an adapter far off into the range: it moves one half only,
// and the other stays below the trusted range or above what a late start
// explains (Halves). The first look is short; one that a late host
// spoiled, or that is truly far off, is followed by whole-length ones.
// Until the exact measurement, waits are made for the higher half or the
// highest trusted rate, whichever is higher (MeasureDuring), and drains for
// the lowest trusted rate (Accept), whichever way a late host pushed the
// look.
bool AdapterLineDriver::MeasureSampleRate() {
  const double asked = kSampleRateHz / 1000;
  if (!FindMultiplier()) return false;
  for (int look = 0; look < kMostLooks; ++look) {
    if (look > 0) {
      // A look far off, whose floor is over twice the asked rate or whose
      // ceiling is under half of it, shows the other multiplier: a late
      // host takes a sixteen for a four (ClocksFourPerBaud). The next look
      // is taken at that one; its first buffer's worth leaves none of the
      // samples at the old rate.
      const Halves last = HalvesBetween(stampMs_, stampCount_);
      const int perBaud = last.lower > 2 * asked ? 16 : last.higher < asked / 2 ? 4 : 0;
      if (perBaud != 0 &&
          !adapter_seam::SetBaudRate(adapter_, static_cast<int>(kSampleRateHz / perBaud))) {
        return false;
      }
    }
    if (!Look(look == 0 ? SamplesFor(kRoughMs, asked) : MeasureSamples(look - 1))) return false;
    const Halves halves = HalvesBetween(stampMs_, stampCount_);
    if (halves.Trusted()) {
      // Switches cost a sample at this rate until the first waits measure it.
      Accept(halves.higher);
      measuringPerMs_ = std::max(halves.higher, asked * kHighestTrusted) * kRateMargin;
      measurement_ = Measurement::Due;
      return true;
    }
  }
  return false;
}

// The exact measurement is made of the first waits' samples, which hold the
// lines as the program switched them. A wait counts its samples at the
// highest rate that the look leaves possible, so that it is never short and
// no switch reaches the pins before its time. Gives the samples the wait
// still needs.
std::size_t AdapterLineDriver::MeasureDuring(double durationMs) {
  const std::size_t before = gatheredCount_;
  const std::size_t highest = SamplesFor(durationMs, measuringPerMs_);
  if (measurement_ == Measurement::Due) {
    // Whatever the buffer held goes out before the first stamp; the fill
    // leaves it full there.
    Gather(pins_, kFillSamples);
    measurement_ = Measurement::Running;
    stamps_ = 0;
    MarkStamp();
  }
  while (measurement_ == Measurement::Running && !failed_ && gatheredCount_ - before < highest) {
    const std::size_t next = stampCount_[stamps_ - 1] + MeasureSamples(measurements_) / 2;
    Gather(pins_, std::min(highest - (gatheredCount_ - before), next - gatheredCount_));
    if (gatheredCount_ < next || !EndHalf()) break;
  }
  if (measurement_ != Measurement::Done || failed_) return 0;
  // The rest of the wait at the measured rate.
  const std::size_t needed = SamplesFor(durationMs, samplesPerMs_);
  const std::size_t done = gatheredCount_ - before;
  return needed > done ? needed - done : 0;
}

// A half ends at the samples gathered: its stamp is taken once the next
// half's samples are on their way, or for the third, which ends a
// measurement, at once. False once the port is lost.
bool AdapterLineDriver::EndHalf() {
  MarkStamp();
  if (failed_) return false;
  if (stamps_ < static_cast<int>(stampMs_.size())) return true;
  if (!FinishThrough(stampSlot_[2])) return false;
  const Halves halves = HalvesBetween(stampMs_, stampCount_);
  if (halves.Trusted()) {
    measurement_ = Measurement::Done;
    // Waits are made of the higher half: it is not below the true rate
    // (Halves), so a wait made for it is not short. Drains are made for
    // the lowest trusted rate or a lower one (Accept), and the true rate
    // is not below the lower half, which is trusted.
    Accept(halves.higher);
    return true;
  }
  if (++measurements_ == kMostMeasurements) {
    Fail();
    return false;
  }
  // Another measurement. Nothing was on its way behind the last stamp, so
  // the adapter may have run dry since: a buffer's worth fills it again.
  Gather(pins_, kLargestAdapterBuffer);
  stamps_ = 0;
  MarkStamp();
  return !failed_;
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
  const bool measured =
      (measurement_ == Measurement::Due || measurement_ == Measurement::Running) && !failed_ &&
      durationMs > 0;
  const std::size_t count =
      measured ? MeasureDuring(durationMs) : SamplesFor(durationMs, samplesPerMs_);
  // A lost port: the host spins, as it does for a serial port.
  if (failed_) {
    host_clock::HostWait(durationMs);
    return;
  }
  Gather(pins_, count);
  if (durationMs >= kIdleWorkMinimumMs && !measured) {
    // The adapter has the whole wait before the idle work starts.
    SubmitGathered();
    if (host_clock::idleWork != nullptr && !failed_) host_clock::idleWork->DuringWait();
  }
}

void AdapterLineDriver::Flush() {
  // The host may turn to other work next: a measurement under way is
  // finished first, the lines held as they are.
  while (measurement_ == Measurement::Running && !failed_) {
    const std::size_t next = stampCount_[stamps_ - 1] + MeasureSamples(measurements_) / 2;
    if (gatheredCount_ < next) Gather(pins_, next - gatheredCount_);
    EndHalf();
  }
  if (!failed_) SendAll();
}

// The adapter changes mode only once what it holds is out, so that no
// sample is clocked out in the wrong one, and once a measurement under way
// is finished, so that the drain does not count as its samples' time.
bool AdapterLineDriver::StartReadingPins() {
  Flush();
  if (failed_) return false;
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
