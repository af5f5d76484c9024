#include "serial/rate_measurement.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "serial/adapter_pins.h"
#include "serial/host_clock.h"

namespace {

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

// What the adapter may still be clocking out when it has taken everything,
// at the slowest rate the baud rate could give.
double DrainMsAt(double slowestSamplesPerMs) {
  return static_cast<double>(kLargestAdapterBuffer) / slowestSamplesPerMs;
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

Halves HalvesBetween(const std::array<double, SampleBatches::kStamps>& ms,
                     const std::array<std::uint64_t, SampleBatches::kStamps>& counts) {
  const auto half = [&](int i) {
    const double took = ms[i + 1] - ms[i];
    return took > 0 ? static_cast<double>(counts[i + 1] - counts[i]) / took : 0;
  };
  return {std::min(half(0), half(1)), std::max(half(0), half(1))};
}

}  // namespace

std::size_t RateMeasurement::WaitSamples(double durationMs) const {
  return SamplesFor(durationMs, samplesPerMs_);
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
bool RateMeasurement::ClocksFourPerBaud() {
  const double slowestPerMs = kSampleRateHz / 1000 * kLowestTrusted;
  const auto tookLonger = [&](double start, std::size_t sent) {
    return HostMs() - start > static_cast<double>(sent) / slowestPerMs + kIdentifySlackMs;
  };
  const double start = HostMs();
  constexpr std::size_t kQuarter = kFillSamples / 4;
  batches_.Gather(kReleasedPins, kQuarter);
  batches_.Submit();
  batches_.Gather(kReleasedPins, kQuarter);
  batches_.Submit();
  if (!batches_.WaitForSubmitted(2)) return false;
  if (tookLonger(start, kQuarter)) return true;
  batches_.Gather(kReleasedPins, kFillSamples - 2 * kQuarter);
  if (!batches_.SendAll()) return false;
  return tookLonger(start, kFillSamples);
}

bool RateMeasurement::FindMultiplier() {
  const double asked = kSampleRateHz / 1000;
  if (!batches_.SetBaudRate(static_cast<int>(kSampleRateHz / 16))) return false;
  batches_.SetDrainMs(DrainMsAt(asked / 4 * kIdentifyLowest));
  if (ClocksFourPerBaud()) {
    // Four samples per baud: ask four times the baud rate. Samples at the
    // old rate may still be on their way; the look's first buffer's worth
    // leaves none of them by its first stamp (LookOnce).
    if (!batches_.SetBaudRate(static_cast<int>(kSampleRateHz / 4))) return false;
  }
  return !batches_.LineLost();
}

// Three time stamps around two halves of count samples that hold the lines
// released. Every sample is on its way before the first stamp is waited
// for; a buffer's worth before it fills the adapter's buffer however late
// the host comes to it. False once the port is lost.
bool RateMeasurement::LookOnce(std::size_t count) {
  batches_.Gather(kReleasedPins, kLargestAdapterBuffer);
  batches_.ForgetStamps();
  for (std::size_t i = 0; i < SampleBatches::kStamps && !batches_.LineLost(); ++i) {
    if (i > 0) batches_.Gather(kReleasedPins, count / 2);
    batches_.MarkStamp(kReleasedPins);
  }
  return batches_.WaitForStamp(SampleBatches::kStamps - 1);
}

void RateMeasurement::Accept(double rate) {
  const double asked = kSampleRateHz / 1000;
  samplesPerMs_ = std::max(rate, asked) * kRateMargin;
  batches_.SetDrainMs(DrainMsAt(std::min(rate, asked) * kLowestTrusted));
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
bool RateMeasurement::Look() {
  const double asked = kSampleRateHz / 1000;
  if (!FindMultiplier()) return false;
  for (int look = 0; look < kMostLooks; ++look) {
    if (look > 0) {
      // A look far off, whose floor is over twice the asked rate or whose
      // ceiling is under half of it, shows the other multiplier: a late
      // host takes a sixteen for a four (ClocksFourPerBaud). The next look
      // is taken at that one; its first buffer's worth leaves none of the
      // samples at the old rate.
      const Halves last = HalvesBetween(batches_.StampMs(), batches_.StampCounts());
      const int perBaud = last.lower > 2 * asked ? 16 : last.higher < asked / 2 ? 4 : 0;
      if (perBaud != 0 && !batches_.SetBaudRate(static_cast<int>(kSampleRateHz / perBaud))) {
        return false;
      }
    }
    if (!LookOnce(look == 0 ? SamplesFor(kRoughMs, asked) : MeasureSamples(look - 1))) {
      return false;
    }
    const Halves halves = HalvesBetween(batches_.StampMs(), batches_.StampCounts());
    if (halves.Trusted()) {
      // Switches cost a sample at this rate until the first waits measure it.
      Accept(halves.higher);
      measuringPerMs_ = std::max(halves.higher, asked * kHighestTrusted) * kRateMargin;
      state_ = State::Due;
      return true;
    }
  }
  return false;
}

std::uint64_t RateMeasurement::NextStampAt() const {
  return batches_.StampCounts()[batches_.Stamps() - 1] + MeasureSamples(measurements_) / 2;
}

// The exact measurement is made of the first waits' samples, which hold the
// lines as the program switched them. A wait counts its samples at the
// highest rate that the look leaves possible, so that it is never short and
// no switch reaches the pins before its time.
std::size_t RateMeasurement::MeasureDuring(double durationMs, std::uint8_t pins) {
  const std::uint64_t before = batches_.Gathered();
  const std::uint64_t highest = SamplesFor(durationMs, measuringPerMs_);
  const auto gathered = [&] { return batches_.Gathered() - before; };
  if (state_ == State::Due) {
    // Whatever the buffer held goes out before the first stamp; the fill
    // leaves it full there.
    batches_.Gather(pins, kFillSamples);
    state_ = State::Running;
    batches_.ForgetStamps();
    batches_.MarkStamp(pins);
  }
  while (state_ == State::Running && !batches_.LineLost() && gathered() < highest) {
    const std::uint64_t next = NextStampAt();
    batches_.Gather(pins, std::min(highest - gathered(), next - batches_.Gathered()));
    if (batches_.Gathered() < next || !EndHalf(pins)) break;
  }
  if (state_ != State::Done || batches_.LineLost()) return 0;
  // The rest of the wait at the measured rate.
  const std::uint64_t needed = SamplesFor(durationMs, samplesPerMs_);
  return needed > gathered() ? needed - gathered() : 0;
}

// A half ends at the samples gathered: its stamp is taken once the next
// half's samples are on their way, or for the third, which ends a
// measurement, at once. False once the port is lost.
bool RateMeasurement::EndHalf(std::uint8_t pins) {
  batches_.MarkStamp(pins);
  if (batches_.LineLost()) return false;
  if (batches_.Stamps() < SampleBatches::kStamps) return true;
  if (!batches_.WaitForStamp(SampleBatches::kStamps - 1)) return false;
  const Halves halves = HalvesBetween(batches_.StampMs(), batches_.StampCounts());
  if (halves.Trusted()) {
    state_ = State::Done;
    // Waits are made of the higher half: it is not below the true rate
    // (Halves), so a wait made for it is not short. Drains are made for
    // the lowest trusted rate or a lower one (Accept), and the true rate
    // is not below the lower half, which is trusted.
    Accept(halves.higher);
    return true;
  }
  if (++measurements_ == kMostMeasurements) {
    batches_.Lose();
    return false;
  }
  // Another measurement. Nothing was on its way behind the last stamp, so
  // the adapter may have run dry since: a buffer's worth fills it again.
  batches_.Gather(pins, kLargestAdapterBuffer);
  batches_.ForgetStamps();
  batches_.MarkStamp(pins);
  return !batches_.LineLost();
}

void RateMeasurement::Finish(std::uint8_t pins) {
  while (state_ == State::Running && !batches_.LineLost()) {
    const std::uint64_t next = NextStampAt();
    if (batches_.Gathered() < next) batches_.Gather(pins, next - batches_.Gathered());
    EndHalf(pins);
  }
}
