// The samples on their way to an adapter that clocks out the lines itself:
// gathered into submissions, several under way at once, so that the
// adapter clocks out the older ones while the host gathers the next. A
// submission can be marked to give a time stamp, the host's clock read
// when the adapter has taken it, and once the adapter reads its pins, the
// readings asked for come back with the submissions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "serial/adapter_pins.h"
#include "serial/adapter_seam.h"

class PinReadings;

class SampleBatches {
 public:
  // The three time stamps of a rate's two halves.
  static constexpr std::size_t kStamps = 3;

  explicit SampleBatches(adapter_seam::Adapter* adapter);
  // What is on its way is waited for, and the adapter given back.
  ~SampleBatches();
  SampleBatches(const SampleBatches&) = delete;
  SampleBatches& operator=(const SampleBatches&) = delete;

  // count more samples that hold the pins at sample.
  void Gather(std::uint8_t sample, std::size_t count);
  // The samples gathered so far go out as a submission.
  void Submit();
  // Everything gathered goes to the adapter, and it has taken it.
  bool SendAll();
  // Waits, oldest first, until the adapter has taken the submissions
  // before the one being filled, newest first counted from 1.
  bool WaitForSubmitted(std::size_t back);

  // Ends a submission at the samples gathered so far and has it give the
  // next time stamp, with the count of samples gathered at it; holding is
  // the sample that makes a submission where there is nothing to end.
  void MarkStamp(std::uint8_t holding);
  // Waits until the adapter has taken the submission that gives stamp.
  bool WaitForStamp(std::size_t stamp);
  void ForgetStamps() { stamps_ = 0; }
  std::size_t Stamps() const { return stamps_; }
  const std::array<double, kStamps>& StampMs() const { return stampMs_; }
  const std::array<std::uint64_t, kStamps>& StampCounts() const { return stampCount_; }

  bool SetBaudRate(int baudRate);
  // From the next submission on, the adapter reads its pins, and each
  // submission's readings go to readings. What it holds goes out first.
  bool StartReadingPins(PinReadings& readings);

  // Samples gathered since the adapter was taken, the next one's number.
  std::uint64_t Gathered() const { return gathered_; }
  std::uint8_t LastGathered() const { return lastSample_; }

  // What the adapter may still hold takes up to this long to go out.
  void SetDrainMs(double drainMs) { drainMs_ = drainMs; }

  // The port is lost: the lines are released as far as the adapter still
  // takes samples, and the adapter is given back.
  void Lose();
  bool LineLost() const { return lineLost_; }
  // Everything gathered goes out and is clocked out, and the adapter is
  // given back.
  void Release();

 private:
  static constexpr std::size_t kSlots = 8;

  struct Slot {
    std::array<std::uint8_t, adapter_seam::kMaxSubmission> samples{};
    std::array<std::uint8_t, adapter_seam::kMaxSubmission> readings{};
    std::uint64_t first = 0;  // the number of its first sample
    std::size_t count = 0;
    adapter_seam::Transfer transfer;
    bool pending = false;
    int stamp = -1;  // the time stamp that the adapter's taking of it gives, if any
  };

  bool Finish(Slot& slot);
  bool FinishThrough(std::size_t last);
  bool FinishAll();
  std::size_t Before(std::size_t back) const { return (current_ + kSlots - back) % kSlots; }

  adapter_seam::Adapter* adapter_;  // null once given back
  bool lineLost_ = false;
  double drainMs_ = 0;
  std::unique_ptr<std::array<Slot, kSlots>> slots_;
  std::size_t current_ = 0;  // the slot being filled
  std::size_t filled_ = 0;
  std::uint64_t gathered_ = 0;
  std::uint8_t lastSample_ = kReleasedPins;
  PinReadings* readings_ = nullptr;  // set while the adapter reads its pins

  std::size_t stamps_ = 0;
  std::array<double, kStamps> stampMs_{};
  std::array<std::uint64_t, kStamps> stampCount_{};
  std::array<std::size_t, kStamps> stampSlot_{};
};
