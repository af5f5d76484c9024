// The lines on an adapter that clocks them out itself (adapter_seam.h):
// line switches and waits become samples, gathered and sent in batches,
// and the adapter's clock, not the host, times them.
#pragma once

#include "serial/adapter_pins.h"
#include "serial/adapter_seam.h"
#include "serial/line_driver.h"
#include "serial/pin_readings.h"
#include "serial/rate_measurement.h"
#include "serial/sample_batches.h"

// The environment variable that turns bit-bang off ("off", "0", "no").
inline constexpr const char* kBitBangSetting = "FLASH89_BITBANG";

// Whether the user turned bit-bang off.
bool BitBangTurnedOff();

class AdapterLineDriver final : public LineDriver {
 public:
  // Takes the adapter and measures its sample rate (RateMeasurement); the
  // port counts as lost when the adapter cannot be trusted.
  explicit AdapterLineDriver(adapter_seam::Adapter* adapter);

  void Switch(device_seam::LineCode code) override;
  void Wait(double durationMs) override;
  void Flush() override;
  bool LineLost() const override { return batches_.LineLost(); }
  // The first reading turns the adapter to reading its pins, for the rest
  // of the command: a command that reads nothing is clocked out as before.
  bool ReadMiso() override;
  bool CollectMiso(std::span<bool> levels) override;
  // One sample: a switch that no wait follows still holds that long.
  std::optional<LineCost> KnownCost() const override;
  void Release() override;

  // The rate that waits are made of, once the first waits have measured it.
  double SamplesPerMs() const { return rate_.SamplesPerMs(); }

 private:
  void HoldLastSwitch();

  // Declared in this order so that the batches, which hand readings on as
  // their submissions finish, go before the readings do.
  PinReadings readings_;
  SampleBatches batches_;
  RateMeasurement rate_{batches_};
  bool readingPins_ = false;
  std::uint8_t pins_ = kReleasedPins;  // as the program has switched them
};
