#include "sim/fake_ftdi_device.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <thread>

#include "sim/chip_model.h"
#include "sim/chip_options.h"
#include "sim/level_shifter.h"

namespace fake_ftdi {
namespace {

constexpr std::uint8_t kBitBangMode = 0x01;
constexpr std::uint8_t kSynchronousBitBangMode = 0x04;
constexpr std::uint8_t kCtsPin = 0x08;

// The pins whose changes the chip sees: TXD (D0), RTS# (D2), DTR# (D4).
// Each is active low.
struct Pin {
  std::uint8_t mask;
  PortLine line;
};
constexpr Pin kPins[] = {{0x01, PortLine::Txd}, {0x04, PortLine::Rts}, {0x10, PortLine::Dtr}};

struct Transfer {
  double doneNs = 0;
  long result = -1;
  bool waited = false;
  std::uint8_t* readings = nullptr;  // a reading's destination
  std::size_t count = 0;
};

struct Reading {
  double ns;
  std::uint8_t pins;
};

struct Adapter {
  AdapterTraits traits;
  AdapterCounts counts;
  std::vector<LineEvent> events;
  std::vector<Transfer> transfers;
  bool gone = false;
  // In serial mode every pin idles high: TXD marking, RTS# and DTR# off.
  std::uint8_t pins = 0xFF;
  double periodNs = 0;
  double usbFreeNs = 0;       // when the link has delivered the last submission
  double lastOutNs = -1e18;   // when the last sample began to be clocked out
  std::vector<double> outNs;  // the last bufferSamples samples' clock-out times
  long clocked = 0;
  std::size_t eventsTraced = 0;
  std::unique_ptr<ChipModel> chip = std::make_unique<ChipModel>();
  LevelShifter shifter;
  std::deque<Reading> readings;  // taken, not yet received
};

std::vector<Adapter> adapters;
std::string tracePath;
std::string chipPath;

std::int64_t RealNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void RealAdvanceTo(std::int64_t ns) {
  const auto wait = std::chrono::nanoseconds(ns - RealNowNs());
  if (wait.count() > 0) std::this_thread::sleep_for(wait);
}

NowFunction now = RealNowNs;
AdvanceFunction advanceTo = RealAdvanceTo;

Adapter* At(int index) {
  if (index < 0 || index >= static_cast<int>(adapters.size())) return nullptr;
  return &adapters[static_cast<std::size_t>(index)];
}

bool IsBitBang(std::uint8_t mode) {
  return mode == kBitBangMode || mode == kSynchronousBitBangMode;
}

// CTS# as the cable drives it at ns: low while CTS is on.
std::uint8_t PinsRead(Adapter& adapter, double ns) {
  bool ctsOn = false;
  const auto miso = [&] { return adapter.shifter.Miso(*adapter.chip, std::llround(ns)); };
  switch (adapter.traits.cable) {
    case Cable::NoLineBack: break;
    case Cable::MisoOnCts: ctsOn = miso(); break;
    case Cable::MisoOnCtsInverted: ctsOn = !miso(); break;
    case Cable::RtsLoopedBack: ctsOn = (adapter.pins & 0x04) == 0; break;
  }
  return static_cast<std::uint8_t>(ctsOn ? adapter.pins & ~kCtsPin : adapter.pins | kCtsPin);
}

void ClockOut(Adapter& adapter, std::uint8_t sample, double ns) {
  if (adapter.counts.bitMode == kSynchronousBitBangMode) {
    adapter.readings.push_back({ns, PinsRead(adapter, ns)});
    ++adapter.counts.readings;
  }
  const std::uint8_t mask = adapter.counts.outputMask;
  const std::uint8_t after = static_cast<std::uint8_t>((adapter.pins & ~mask) | (sample & mask));
  for (const Pin& pin : kPins) {
    if (((adapter.pins ^ after) & pin.mask) != 0) {
      adapter.events.push_back({std::llround(ns), pin.line, (after & pin.mask) == 0});
      adapter.shifter.Feed(*adapter.chip, adapter.events.back());
    }
  }
  adapter.pins = after;
}

// Back to serial mode: what the adapter still holds never goes out, and the
// pins return to their serial idle levels.
void EndBitBang(Adapter& adapter) {
  if (!IsBitBang(adapter.counts.bitMode)) return;
  adapter.readings.clear();
  const double at = static_cast<double>(now());
  const double stillOut = adapter.lastOutNs + adapter.periodNs - at;
  if (stillOut > 0) {
    adapter.counts.samplesCutOff += static_cast<long>(std::ceil(stillOut / adapter.periodNs));
    const auto cut =
        std::find_if(adapter.events.begin(), adapter.events.end(),
                     [&](const LineEvent& e) { return static_cast<double>(e.ns) >= at; });
    adapter.events.erase(cut, adapter.events.end());
    // The pins as they were at that moment.
    adapter.pins = 0xFF;
    for (const LineEvent& event : adapter.events) {
      for (const Pin& pin : kPins) {
        if (pin.line != event.line) continue;
        adapter.pins = static_cast<std::uint8_t>(event.on ? adapter.pins & ~pin.mask
                                                          : adapter.pins | pin.mask);
      }
    }
  }
  adapter.counts.bitMode = 0;
  const std::uint8_t mask = adapter.counts.outputMask;
  adapter.counts.outputMask = 0xFF;
  ClockOut(adapter, 0xFF, at);
  adapter.counts.outputMask = mask;
}

// LineEventsOf (sim/trace_file.cpp) reads these back: TIOCM_DTR is 0x002,
// TIOCM_RTS 0x004.
void TraceClose(Adapter& adapter) {
  if (tracePath.empty()) return;
  std::FILE* file = std::fopen(tracePath.c_str(), "a");
  if (file == nullptr) return;
  const char* device = adapter.traits.traceName;
  for (; adapter.eventsTraced < adapter.events.size(); ++adapter.eventsTraced) {
    const LineEvent& event = adapter.events[adapter.eventsTraced];
    const char* call = event.line == PortLine::Txd ? (event.on ? "TIOCSBRK" : "TIOCCBRK")
                                                   : (event.on ? "TIOCMBIS" : "TIOCMBIC");
    const int bits = event.line == PortLine::Dtr ? 0x002 : event.line == PortLine::Rts ? 0x004 : 0;
    std::fprintf(file, "%lld %s %s %d 0\n", static_cast<long long>(event.ns), device, call, bits);
  }
  std::fprintf(file, "%lld %s close %d 0\n", static_cast<long long>(now()), device,
               adapter.counts.kernelDriverAttached ? 1 : 0);
  std::fclose(file);
}

void LoadChip(Adapter& adapter) {
  if (chipPath.empty()) return;
  std::array<std::uint8_t, ChipModel::kStateSize> state{};
  std::FILE* file = std::fopen(chipPath.c_str(), "rb");
  if (file == nullptr) return;
  const bool whole = std::fread(state.data(), 1, state.size(), file) == state.size();
  std::fclose(file);
  if (whole) adapter.chip->LoadState(state);
}

void SaveChip(const Adapter& adapter) {
  if (chipPath.empty()) return;
  std::array<std::uint8_t, ChipModel::kStateSize> state{};
  adapter.chip->SaveState(state);
  std::FILE* file = std::fopen(chipPath.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(state.data(), 1, state.size(), file);
  std::fclose(file);
}

}  // namespace

void Reset() { adapters.clear(); }

void KeepChipIn(const std::string& path) { chipPath = path; }

void ApplyCableOptions(const std::string& options, AdapterTraits& traits) {
  std::size_t at = 0;
  while (at <= options.size()) {
    const std::size_t end = OptionEnd(options, at);
    const std::string option = options.substr(at, end - at);
    traits.cable = CableNamed(option, traits.cable);
    traits.shifterNs = ShifterSettleNsNamed(option, traits.shifterNs);
    if (option.rfind("weak=", 0) == 0)
      traits.weakCell = std::strtol(option.c_str() + 5, nullptr, 0);
    for (const char* chipOption : {"xtal=", "fuses=", "lock=", "eeprom=", "user_row="}) {
      if (option.rfind(chipOption, 0) != 0) continue;
      const std::size_t used = std::strlen(traits.chipOptions);
      std::snprintf(traits.chipOptions + used, sizeof traits.chipOptions - used, "%s%s",
                    used > 0 ? ":" : "", option.c_str());
    }
    at = end + 1;
  }
}

void TraceClosesTo(const std::string& path) { tracePath = path; }

std::vector<NamedAdapter> AdaptersNamedIn(const std::string& setting) {
  std::vector<NamedAdapter> named;
  std::size_t at = 0;
  while (at < setting.size()) {
    std::size_t end = setting.find(',', at);
    if (end == std::string::npos) end = setting.size();
    const std::string item = setting.substr(at, end - at);
    at = end + 1;
    const std::size_t colon = item.rfind(':');
    if (colon == std::string::npos || colon == 0) continue;
    char* rest = nullptr;
    const double samplesPerBaud = std::strtod(item.c_str() + colon + 1, &rest);
    if (rest == item.c_str() + colon + 1 || *rest != '\0' || !(samplesPerBaud > 0)) continue;
    named.push_back({item.substr(0, colon), samplesPerBaud});
  }
  return named;
}

int AddAdapter(const AdapterTraits& traits) {
  Adapter adapter;
  adapter.traits = traits;
  if (traits.weakCell >= 0) adapter.chip->SetWeakCell(static_cast<std::size_t>(traits.weakCell));
  ApplyChipOptions(traits.chipOptions, *adapter.chip);
  adapter.shifter = LevelShifter(traits.shifterNs);
  adapter.outNs.assign(static_cast<std::size_t>(std::max(traits.bufferSamples, 1)), 0.0);
  adapter.events.reserve(1 << 16);
  adapters.push_back(std::move(adapter));
  return static_cast<int>(adapters.size()) - 1;
}

int AdapterCount() { return static_cast<int>(adapters.size()); }
const AdapterTraits& Traits(int index) { return At(index)->traits; }
const AdapterCounts& Counts(int index) { return At(index)->counts; }
const std::vector<LineEvent>& Events(int index) { return At(index)->events; }
ChipModel& Chip(int index) { return *At(index)->chip; }

void UseClock(NowFunction nowFunction, AdvanceFunction advanceFunction) {
  now = nowFunction != nullptr ? nowFunction : RealNowNs;
  advanceTo = advanceFunction != nullptr ? advanceFunction : RealAdvanceTo;
}

int FindAdapter(int bus, int address) {
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    if (adapters[i].traits.bus == bus && adapters[i].traits.address == address) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool Open(int index, int channel, bool detachKernelDriver) {
  Adapter* adapter = At(index);
  if (adapter == nullptr || adapter->gone || adapter->traits.refuseOpen || adapter->counts.open ||
      channel < 0 || channel >= adapter->traits.channels) {
    return false;
  }
  adapter->counts.open = true;
  ++adapter->counts.opens;
  LoadChip(*adapter);
  if (detachKernelDriver && adapter->counts.kernelDriverAttached) {
    adapter->counts.kernelDriverAttached = false;
    ++adapter->counts.detachments;
  }
  return true;
}

void Close(int index, bool reattachKernelDriver) {
  Adapter* adapter = At(index);
  if (adapter == nullptr || !adapter->counts.open) return;
  EndBitBang(*adapter);
  SaveChip(*adapter);
  adapter->counts.open = false;
  ++adapter->counts.closes;
  if (reattachKernelDriver) adapter->counts.kernelDriverAttached = true;
  TraceClose(*adapter);
}

bool SetBitMode(int index, std::uint8_t outputMask, std::uint8_t mode) {
  Adapter* adapter = At(index);
  if (adapter == nullptr || !adapter->counts.open || adapter->gone) return false;
  if (mode == 0) {
    EndBitBang(*adapter);
    return true;
  }
  if (!IsBitBang(mode)) return false;
  adapter->counts.bitMode = mode;
  adapter->counts.outputMask = outputMask;
  ++adapter->counts.bitBangEntries;
  return true;
}

bool SetBaudRate(int index, int baudRate) {
  Adapter* adapter = At(index);
  if (adapter == nullptr || !adapter->counts.open || adapter->gone || baudRate <= 0) return false;
  adapter->counts.lastBaudRate = baudRate;
  adapter->periodNs =
      1e9 / (baudRate * adapter->traits.samplesPerBaud * adapter->traits.clockError);
  return true;
}

void RefuseSubmission(int index) {
  if (Adapter* adapter = At(index)) ++adapter->counts.refusedSubmissions;
}

long Submit(int index, const std::uint8_t* samples, std::size_t count) {
  Adapter* adapter = At(index);
  if (adapter == nullptr || !adapter->counts.open) return -1;
  AdapterCounts& counts = adapter->counts;
  ++counts.submissions;
  counts.largestSubmission = std::max(counts.largestSubmission, static_cast<long>(count));
  // In serial mode the bytes would go out as characters on TXD.
  if (!IsBitBang(counts.bitMode) || adapter->periodNs <= 0) {
    ++counts.refusedSubmissions;
    return -1;
  }
  const AdapterTraits& traits = adapter->traits;
  const double byteNs = 1e9 / traits.usbBytesPerSecond;
  const auto buffer = adapter->outNs.size();
  Transfer transfer;
  transfer.result = static_cast<long>(count);
  double accepted = std::max(static_cast<double>(now() + traits.usbLatencyNs), adapter->usbFreeNs);
  for (std::size_t i = 0; i < count; ++i) {
    if (adapter->gone ||
        (traits.failAfterSamples >= 0 && counts.samplesAccepted >= traits.failAfterSamples)) {
      adapter->gone = true;
      transfer.result = -1;
      break;
    }
    if (i > 0) accepted += byteNs;
    // A sample enters the buffer once the one a buffer earlier has left it.
    const auto slot = static_cast<std::size_t>(adapter->clocked) % buffer;
    if (adapter->clocked >= static_cast<long>(buffer)) {
      accepted = std::max(accepted, adapter->outNs[slot]);
    }
    const double out = std::max(accepted, adapter->lastOutNs + adapter->periodNs);
    ClockOut(*adapter, samples[i], out);
    adapter->outNs[slot] = out;
    adapter->lastOutNs = out;
    ++adapter->clocked;
    ++counts.samplesAccepted;
  }
  adapter->usbFreeNs = accepted;
  counts.busyUntilNs = std::llround(adapter->lastOutNs + adapter->periodNs);
  transfer.doneNs = accepted + static_cast<double>(traits.usbLatencyNs);
  adapter->transfers.push_back(transfer);
  return static_cast<long>(adapter->transfers.size()) - 1;
}

void DropReadings(int index) {
  if (Adapter* adapter = At(index)) adapter->readings.clear();
}

long SubmitReading(int index, std::uint8_t* readings, std::size_t count) {
  Adapter* adapter = At(index);
  if (adapter == nullptr || !adapter->counts.open || readings == nullptr || count == 0) return -1;
  Transfer transfer;
  transfer.readings = readings;
  transfer.count = count;
  adapter->transfers.push_back(transfer);
  return static_cast<long>(adapter->transfers.size()) - 1;
}

namespace {

// The readings are taken as the samples are clocked out, by any transfer:
// a reading waits for as many as it asked for, and fails where the samples
// that would make them were never sent.
void Receive(Adapter& adapter, Transfer& transfer) {
  transfer.result = -1;
  if (adapter.readings.size() < transfer.count) return;
  for (std::size_t i = 0; i < transfer.count; ++i) {
    transfer.readings[i] = adapter.readings.front().pins;
    transfer.doneNs = adapter.readings.front().ns + adapter.periodNs;
    adapter.readings.pop_front();
  }
  transfer.doneNs += static_cast<double>(adapter.traits.usbLatencyNs);
  transfer.result = static_cast<long>(transfer.count);
  adapter.counts.readingsReceived += transfer.result;
}

}  // namespace

long WaitForTransfer(int index, long number) {
  Adapter* adapter = At(index);
  if (adapter == nullptr || number < 0 || number >= static_cast<long>(adapter->transfers.size())) {
    return -1;
  }
  Transfer& transfer = adapter->transfers[static_cast<std::size_t>(number)];
  if (transfer.waited) return -1;
  transfer.waited = true;
  if (transfer.readings != nullptr) Receive(*adapter, transfer);
  const auto done = static_cast<std::int64_t>(std::ceil(transfer.doneNs));
  if (now() < done) advanceTo(done);
  return transfer.result;
}

}  // namespace fake_ftdi
