// The lines on an adapter that clocks them out itself (adapter_seam.h):
// line switches and waits become samples, gathered and sent in batches,
// and the adapter's clock, not the host, times them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "serial/adapter_seam.h"
#include "serial/line_driver.h"

// The adapter's pins: TXD is D0, RTS# is D2 and DTR# is D4. The modem
// outputs are active low, so a line that is on holds its pin low, and TXD
// in break holds D0 low, as the serial port does at the same pins.
inline constexpr std::uint8_t kTxdPin = 1u << 0;
inline constexpr std::uint8_t kRtsPin = 1u << 2;
inline constexpr std::uint8_t kDtrPin = 1u << 4;
// CTS# is D3, an input: low while CTS is on, as the serial port sees it.
inline constexpr std::uint8_t kCtsPin = 1u << 3;
inline constexpr std::uint8_t kOutputPins = kTxdPin | kRtsPin | kDtrPin;
// Every line off and TXD released.
inline constexpr std::uint8_t kReleasedPins = kOutputPins;

// The rate asked of the adapter, in samples per second. A bit phase of
// 0.01 ms is then three samples with room for the rate's uncertainty, and
// the stream stays far below what a full-speed USB link carries. Three
// samples are only just over a phase, so that little of each is waste,
// yet they stay three up to a measured rate 0.7 % above this one (a
// millisecond of USB scheduling on a time stamp); a fourth would lengthen
// every phase by a third.
inline constexpr double kSampleRateHz = 292'000;

// The environment variable that turns bit-bang off ("off", "0", "no").
inline constexpr const char* kBitBangSetting = "FLASH89_BITBANG";

// Whether the user turned bit-bang off.
bool BitBangTurnedOff();

class AdapterLineDriver final : public LineDriver {
 public:
  // Takes the adapter and measures its sample rate: roughly, with every
  // sample holding the lines released, so that an adapter it cannot trust
  // never shows the chip an edge, and then exactly during the first waits.
  explicit AdapterLineDriver(adapter_seam::Adapter* adapter);
  ~AdapterLineDriver() override;
  AdapterLineDriver(const AdapterLineDriver&) = delete;
  AdapterLineDriver& operator=(const AdapterLineDriver&) = delete;

  void Switch(device_seam::LineCode code) override;
  void Wait(double durationMs) override;
  void Flush() override;
  bool LineLost() const override { return failed_; }
  // The first reading turns the adapter to reading its pins, for the rest
  // of the command: a command that reads nothing is clocked out as before.
  bool ReadDataIn() override;
  bool CollectDataIn(std::span<bool> levels) override;
  // One sample: a switch that no wait follows still holds that long.
  std::optional<LineCost> KnownCost() const override;
  void Release() override;

  // The rate that waits are made of, once the first waits have measured it.
  double SamplesPerMs() const { return samplesPerMs_; }

 private:
  // Submissions under way at once: while the adapter clocks out the older
  // ones, the host gathers the next or repaints the window.
  static constexpr std::size_t kSlots = 8;

  struct Slot {
    std::array<std::uint8_t, adapter_seam::kMaxSubmission> samples{};
    std::array<std::uint8_t, adapter_seam::kMaxSubmission> readings{};
    std::uint64_t first = 0;  // the number of its first sample, once pins are read
    std::size_t count = 0;
    adapter_seam::Transfer transfer;
    bool pending = false;
    int stamp = -1;  // the time stamp that the adapter's taking of it gives, if any
  };

  bool FindMultiplier();
  bool MeasureSampleRate();
  bool ClocksFourPerBaud();
  bool Look(std::size_t count);
  void Accept(double rate);
  std::size_t MeasureDuring(double durationMs);
  void MarkStamp();
  bool EndHalf();
  void Gather(std::uint8_t sample, std::size_t count);
  void SubmitGathered();
  bool SendAll();
  bool Finish(Slot& slot);
  bool FinishThrough(std::size_t last);
  bool FinishAll();
  void TakeReadings(const Slot& slot);
  bool StartReadingPins();
  void Fail();

  adapter_seam::Adapter* adapter_;  // null once given back
  bool failed_ = false;
  double samplesPerMs_ = 0;
  double drainMs_ = 0;
  std::uint8_t pins_ = kReleasedPins;      // as the program has switched them
  std::uint8_t gathered_ = kReleasedPins;  // the last sample gathered
  std::unique_ptr<std::array<Slot, kSlots>> slots_;
  std::size_t current_ = 0;  // the slot being filled
  std::size_t filled_ = 0;
  std::size_t gatheredCount_ = 0;  // samples gathered since the adapter was taken
  // The exact measurement, made of the first waits' samples.
  // Not yet: no look has taken the adapter; due: the first wait starts it.
  enum class Measurement : std::uint8_t { NotYet, Due, Running, Done };
  Measurement measurement_ = Measurement::NotYet;
  double measuringPerMs_ = 0;  // what waits are made for until it is done
  int measurements_ = 0;       // those that ended outside the trusted range
  // The three time stamps of a look or a measurement, those marked so far,
  // and the slot whose taking gives each.
  int stamps_ = 0;
  std::array<double, 3> stampMs_{};
  std::array<std::size_t, 3> stampCount_{};
  std::array<std::size_t, 3> stampSlot_{};

  // While the adapter reads its pins: the samples gathered since it began,
  // and for each reading asked for, the sample whose reading shows it.
  bool readingPins_ = false;
  bool readingFailed_ = false;
  std::uint64_t gatheredSince_ = 0;
  std::array<std::uint64_t, kMostDataInReadings> wanted_{};
  std::size_t wantedCount_ = 0;
  DataInLevels levels_;  // the readings that came back, in the order asked
};
