// How fast an adapter really clocks out its samples, measured against the
// host's clock: roughly when the adapter is taken, with every sample
// holding the lines released, so that an adapter the program cannot trust
// never shows the chip an edge; then exactly, of the first waits' samples.
// Waits are made of samples at the rate it gives, and are never short.
#pragma once

#include <cstddef>
#include <cstdint>

#include "serial/sample_batches.h"

// The rate asked of the adapter, in samples per second. A bit phase of
// 0.01 ms is then three samples with room for the rate's uncertainty, and
// the stream stays far below what a full-speed USB link carries. Three
// samples are only just over a phase, so that little of each is waste,
// yet they stay three up to a measured rate 0.7 % above this one (a
// millisecond of USB scheduling on a time stamp); a fourth would lengthen
// every phase by a third.
inline constexpr double kSampleRateHz = 292'000;

class RateMeasurement {
 public:
  explicit RateMeasurement(SampleBatches& batches) : batches_(batches) {}

  // Finds the adapter's multiplier and looks at its rate. False when no
  // look can be trusted or the port is lost: the adapter is refused.
  bool Look();

  // Whether the exact measurement is still to be made of the next waits.
  bool Measuring() const { return state_ == State::Due || state_ == State::Running; }
  // Gathers what it can of a wait of durationMs at pins into the exact
  // measurement, and gives the samples the wait still needs.
  std::size_t MeasureDuring(double durationMs, std::uint8_t pins);
  // Ends a measurement under way, the lines held at pins: the host may
  // turn to other work next.
  void Finish(std::uint8_t pins);

  // The rate that waits are made of, once the look has given one, and the
  // samples of a wait at it.
  double SamplesPerMs() const { return samplesPerMs_; }
  std::size_t WaitSamples(double durationMs) const;

 private:
  // Not yet: no look has taken the adapter; due: the first wait starts the
  // exact measurement; done: waits are made of its rate.
  enum class State : std::uint8_t { NotYet, Due, Running, Done };

  bool FindMultiplier();
  bool ClocksFourPerBaud();
  bool LookOnce(std::size_t count);
  void Accept(double rate);
  bool EndHalf(std::uint8_t pins);
  std::uint64_t NextStampAt() const;

  SampleBatches& batches_;
  State state_ = State::NotYet;
  double samplesPerMs_ = 0;
  double measuringPerMs_ = 0;  // what waits are made for until it is done
  int measurements_ = 0;       // those that ended outside the trusted range
};
