// FTDI adapters in bit-bang mode, as the fronts that stand in for their
// driver libraries see them (libftdi on Linux: fake_libftdi.cpp; D2XX on
// Windows: fake_ftd2xx.cpp). An adapter takes the samples it is sent into a
// transmit buffer of its own, clocks them out at its own rate, and turns the
// changes of its pins into time-stamped line events, so that the chip model
// checks what a chip on those pins would see. Only the adapters added here
// exist: no real device can be reached through it. In synchronous bit-bang
// mode an adapter also reads its pins before each sample it clocks out,
// with CTS# (D3) from the cable to a chip fed the pin changes as they
// happen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/cable.h"
#include "sim/line_event.h"

class ChipModel;

namespace fake_ftdi {

struct AdapterTraits {
  int bus = 1;
  int address = 7;
  int channels = 1;   // 2 or 4 for the FT2232 and FT4232
  int comNumber = 0;  // the COM port Windows gave it; 0 for none
  // Samples per second for each baud programmed: sources disagree whether
  // an FTDI chip in bit-bang mode clocks 4 or 16 of them.
  double samplesPerBaud = 16;
  double clockError = 1.0;  // the real rate over the nominal one
  int bufferSamples = 256;  // its transmit buffer
  double usbBytesPerSecond = 1'000'000;
  std::int64_t usbLatencyNs = 125'000;  // from a submission to its first byte, and for the answer
  long failAfterSamples = -1;           // >= 0: unplugged after taking that many samples
  bool refuseOpen = false;              // as without permission to use it
  Cable cable = Cable::NoLineBack;      // what comes back to CTS# (D3)
  std::int64_t shifterNs = 0;           // its level shifter's settling time
  long weakCell = -1;                   // see ChipModel::SetWeakCell
  // Its chip's crystal, fuses, lock bits, EEPROM and user row when the
  // adapter is added, as a fake port's options name them (sim/chip_options.h).
  char chipOptions[1024] = "";
  // The device its pin changes are recorded as (TraceClosesTo).
  char traceName[64] = "ftdi";
};

// What happened to an adapter. Plain data, so that it crosses a DLL's edge.
struct AdapterCounts {
  int opens = 0;
  int closes = 0;
  bool open = false;
  bool kernelDriverAttached = true;
  int detachments = 0;  // times the operating system's driver had to let go
  std::uint8_t outputMask = 0;
  std::uint8_t bitMode = 0;  // 0 serial, 1 asynchronous, 4 synchronous bit-bang
  int bitBangEntries = 0;
  int lastBaudRate = 0;
  long samplesAccepted = 0;
  long samplesCutOff = 0;        // still in the adapter when bit-bang mode ended
  std::int64_t busyUntilNs = 0;  // when the last sample taken is clocked out
  long submissions = 0;
  long largestSubmission = 0;
  long refusedSubmissions = 0;  // too large, or while not in bit-bang mode
  long readings = 0;            // pin readings taken in synchronous mode
  long readingsReceived = 0;
};

// Forgets every adapter; the clock stays as set.
void Reset();
int AddAdapter(const AdapterTraits& traits);  // its index
int AdapterCount();
const AdapterTraits& Traits(int index);
const AdapterCounts& Counts(int index);
// The pin changes of an adapter, in the order they were clocked out.
const std::vector<LineEvent>& Events(int index);
// The chip on an adapter's pins, fed each change as it is clocked out.
ChipModel& Chip(int index);

// The host's clock in nanoseconds, and a way to let it pass while the host
// blocks: virtual time in tests. Real time when never set.
using NowFunction = std::int64_t (*)();
using AdvanceFunction = void (*)(std::int64_t ns);
void UseClock(NowFunction now, AdvanceFunction advanceTo);

// From now on each close of an adapter appends its pin changes since the
// last close to the file at path, in the fake serial device's trace format
// (sim/trace_file.h) as the modem and break calls that would make them, on
// the device its traits name, then a "close" record whose argument is 1
// when the operating system's driver has the device again. For programs
// that know nothing of the fake.
void TraceClosesTo(const std::string& path);

// From now on the chip behind an adapter starts each open with what the
// file at path holds, and leaves its state there at each close (flash,
// EEPROM, user row, fuses, lock bits: ChipModel::SaveState): a chip that
// keeps its contents across the programs that use it.
void KeepChipIn(const std::string& path);

// The traits that a fake port's options such as "cts=inverted:shifter=2us:weak=5"
// name (sim/cable.h; weak=A: that flash cell does not hold what is written; the
// chip's own options of sim/chip_options.h).
void ApplyCableOptions(const std::string& options, AdapterTraits& traits);

// The adapters a setting such as "COM2:4,COM5:16" names: each one's port
// and its samples per baud. Items that are not of that shape are skipped.
struct NamedAdapter {
  std::string port;
  double samplesPerBaud = 0;
};
std::vector<NamedAdapter> AdaptersNamedIn(const std::string& setting);

// For the library fronts.
int FindAdapter(int bus, int address);  // -1 when there is none
bool Open(int index, int channel, bool detachKernelDriver);
void Close(int index, bool reattachKernelDriver);
bool SetBitMode(int index, std::uint8_t outputMask, std::uint8_t mode);
bool SetBaudRate(int index, int baudRate);
void RefuseSubmission(int index);
// Starts a transfer: its number, or -1 when it is refused.
long Submit(int index, const std::uint8_t* samples, std::size_t count);
// Drops the pin readings taken and not yet received.
void DropReadings(int index);
// Starts receiving count pin readings into readings: its transfer number.
long SubmitReading(int index, std::uint8_t* readings, std::size_t count);
// Blocks until the adapter has taken the transfer, or for a reading until
// its readings arrived: its count, or -1 when not all of it arrived.
long WaitForTransfer(int index, long transfer);

}  // namespace fake_ftdi
