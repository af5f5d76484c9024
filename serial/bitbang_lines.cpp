#include "serial/bitbang_lines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serial/adapter_seam.h"
#include "serial/module_state.h"
#include "serial/rezero.h"

namespace bitbang {
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

// Submissions under way at once: while the adapter clocks out the older
// ones, the host gathers the next or repaints the window.
constexpr std::size_t kSlots = 8;

enum class State : std::uint8_t { Off, Considered, Active, Failed };

struct Slot {
  std::array<std::uint8_t, adapter_seam::kMaxSubmission> samples{};
  adapter_seam::Transfer transfer;
  bool pending = false;
};

State state = State::Off;
std::string portMode;
adapter_seam::Adapter* adapter = nullptr;
double samplesPerMs = 0;
double drainMs = 0;
std::uint8_t pins = kReleasedPins;      // as the program has switched them
std::uint8_t gathered = kReleasedPins;  // the last sample gathered
std::array<Slot, kSlots> slots;
std::size_t current = 0;  // the slot being filled
std::size_t filled = 0;

bool TurnedOff() {
  const char* setting = std::getenv(kSwitchVariable);
  if (setting == nullptr) return false;
  std::string value(setting);
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return value == "off" || value == "0" || value == "no" || value == "false";
}

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

bool Finish(Slot& slot) {
  if (!slot.pending) return true;
  slot.pending = false;
  return adapter_seam::Complete(adapter, slot.transfer);
}

// Oldest first: the one after the slot being filled.
bool FinishAll() {
  bool ok = true;
  for (std::size_t i = 1; i <= kSlots; ++i) ok = Finish(slots[(current + i) % kSlots]) && ok;
  return ok;
}

// The port is lost: the lines are released as far as the adapter still
// takes samples, and the adapter is given back.
void Fail() {
  if (state != State::Active) return;
  state = State::Failed;
  rezero_state::lineFailed = true;
  FinishAll();
  filled = 0;
  Slot& slot = slots[current];
  slot.samples[0] = kReleasedPins;
  if (adapter_seam::Submit(adapter, slot.samples.data(), 1, slot.transfer) &&
      adapter_seam::Complete(adapter, slot.transfer)) {
    SpinMs(drainMs);
  }
  adapter_seam::CloseAdapter(adapter);
  adapter = nullptr;
}

void SubmitGathered() {
  if (filled == 0 || state != State::Active) return;
  Slot& slot = slots[current];
  slot.transfer = {};
  slot.pending = adapter_seam::Submit(adapter, slot.samples.data(), filled, slot.transfer);
  filled = 0;
  current = (current + 1) % kSlots;
  if (!slot.pending) {
    Fail();
    return;
  }
  // The next slot is filled anew only once the adapter has taken it.
  if (!Finish(slots[current])) Fail();
}

void Gather(std::uint8_t sample, std::size_t count) {
  if (count == 0) return;
  gathered = sample;
  while (count > 0 && state == State::Active) {
    Slot& slot = slots[current];
    const std::size_t take = std::min(count, slot.samples.size() - filled);
    std::memset(slot.samples.data() + filled, sample, take);
    filled += take;
    count -= take;
    if (filled == slot.samples.size()) SubmitGathered();
  }
}

// Everything switched so far goes to the adapter, and it has taken it.
bool SendAll() {
  if (pins != gathered) Gather(pins, 1);
  SubmitGathered();
  if (state != State::Active) return false;
  if (!FinishAll()) {
    Fail();
    return false;
  }
  return true;
}

// Samples per millisecond, timed on the host over count samples.
double ClockedRate(std::size_t count) {
  Gather(kReleasedPins, kFillSamples);
  if (!SendAll()) return 0;
  const double start = HostMs();
  Gather(kReleasedPins, count);
  if (!SendAll()) return 0;
  const double took = HostMs() - start;
  return took > 0 ? static_cast<double>(count) / took : 0;
}

bool Near(double rate, double asked) {
  return rate >= asked * kIdentifyLowest && rate <= asked * kIdentifyHighest;
}

// Every sample sent here holds the lines released, so the chip sees no edge.
bool MeasureSampleRate() {
  const double asked = kSampleRateHz / 1000;
  if (!adapter_seam::SetBaudRate(adapter, static_cast<int>(kSampleRateHz / 16))) return false;
  drainMs = DrainMsAt(asked / 4 * kIdentifyLowest);
  double rate = ClockedRate(static_cast<std::size_t>(asked * kIdentifyMs));
  if (Near(rate * 4, asked)) {
    // Four samples per baud: ask four times the baud rate.
    if (!adapter_seam::SetBaudRate(adapter, static_cast<int>(kSampleRateHz / 4))) return false;
  } else if (!Near(rate, asked)) {
    return false;
  }
  rate = ClockedRate(static_cast<std::size_t>(asked * kMeasureMs));
  if (rate < asked * kLowestTrusted || rate > asked * kHighestTrusted) return false;
  samplesPerMs = std::max(rate, asked) * kRateMargin;
  drainMs = DrainMsAt(std::min(rate, asked) * kLowestTrusted);
  return true;
}

// Takes the adapter at the first line switch or wait of a command.
bool Activate() {
  adapter = adapter_seam::OpenAdapter(portMode.c_str(), kOutputPins, PortHandle);
  if (adapter == nullptr) {
    state = State::Off;
    rezero_state::linesOnAdapter = false;
    return false;
  }
  state = State::Active;
  pins = gathered = kReleasedPins;
  current = filled = 0;
  for (Slot& slot : slots) slot.pending = false;
  if (!MeasureSampleRate()) Fail();
  return true;
}

}  // namespace

void Consider(const char* mode) {
  state = State::Off;
  rezero_state::linesOnAdapter = false;
  if (TurnedOff() || !adapter_seam::MayBeAdapter(std::string_view(mode).substr(0, 4))) return;
  portMode = mode;
  state = State::Considered;
  rezero_state::linesOnAdapter = true;
}

bool Switch(LineCode code) {
  if (state == State::Considered && !Activate()) return false;
  if (state != State::Active) {
    rezero_state::lineFailed = true;
    return true;
  }
  const std::uint8_t next = PinsAfter(pins, code);
  if (next == pins) return true;
  // A switch that no wait follows still holds for one sample, so that
  // every switch reaches the pins, in its order.
  if (pins != gathered) Gather(pins, 1);
  pins = next;
  return true;
}

bool Wait(double durationMs) {
  if (state == State::Considered && !Activate()) return false;
  // A lost port: the host spins, as it does for a serial port.
  if (state != State::Active) return false;
  const auto count =
      durationMs > 0 ? static_cast<std::size_t>(std::ceil(durationMs * samplesPerMs)) : 0;
  Gather(pins, count);
  if (durationMs >= kIdleWorkMinimumMs) {
    // The adapter has the whole wait before the idle work starts.
    SubmitGathered();
    if (rezero_state::idleWork != nullptr && state == State::Active) {
      rezero_state::idleWork->DuringWait();
    }
  }
  return true;
}

void Confirm() {
  if (state == State::Active) SendAll();
}

void Close() {
  // Ending bit-bang mode would cut off what the adapter still holds.
  if (state == State::Active && SendAll()) SpinMs(drainMs);
  if (state == State::Active) {
    adapter_seam::CloseAdapter(adapter);
    adapter = nullptr;
  }
  state = State::Off;
  rezero_state::linesOnAdapter = false;
}

void Reset() {
  if (adapter != nullptr) {
    FinishAll();
    adapter_seam::CloseAdapter(adapter);
  }
  adapter = nullptr;
  state = State::Off;
  rezero_state::linesOnAdapter = false;
  samplesPerMs = 0;
  drainMs = 0;
  current = filled = 0;
  for (Slot& slot : slots) slot.pending = false;
}

double SamplesPerMs() { return samplesPerMs; }

}  // namespace bitbang
