// An in-process serial device behind the device seam, for tests and
// benchmarks: no kernel, every line switch recorded with its time stamp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/cable.h"
#include "sim/line_event.h"

namespace fake_serial {

enum class DeviceState : std::uint8_t { Absent, Present, Busy };

struct CallCounts {
  int opens = 0;  // successful opens
  int failedOpens = 0;
  int closes = 0;
  int switches = 0;  // line switch calls, failed ones included
  int failedSwitches = 0;
  int reads = 0;  // CTS reads, failed ones included
  int failedReads = 0;
};

// Forgets all devices, events and counts: every port is absent.
void Reset();

// failAfterSwitches >= 0: the device accepts that many line switches and
// refuses every later one, as an unplugged USB adapter does.
void SetDevice(std::string_view name, DeviceState state, int failAfterSwitches = -1);

// The cable to CTS (sim/cable.h). The chip answers from the line switches
// so far, and keeps its memories across opens until Reset.
using Cable = ::Cable;

// How a device's lines behave besides switching: what a switch costs in
// time (on a USB adapter each is a transfer of a millisecond or so), and a
// break that the driver only fakes, as Linux's ch341 driver does on CH340
// chips that cannot hold one.
struct LineBehaviour {
  std::int64_t switchCostNs = 0;  // each DTR or RTS switch
  std::int64_t breakCostNs = -1;  // each break set or clear; -1: as switchCostNs
  bool fakedBreak = false;
  std::string driver = {};       // what the platform names as the port's driver
  std::int64_t readCostNs = -1;  // each CTS read; -1: as switchCostNs
  Cable cable = Cable::NoLineBack;
  // The settling time of the cable's level shifter (sim/level_shifter.h).
  std::int64_t shifterNs = 0;
  // A flash cell of the chip behind the cable that does not hold what is
  // written to it (see ChipModel::SetWeakCell); -1: none.
  int weakCell = -1;
  // The chip's page write cycle (see ChipModel::SetPageWriteNs); -1: the model's.
  std::int64_t pageWriteNs = -1;
  // Its crystal, fuses, lock bits, EEPROM and user row when it is first
  // made, as a fake port's options name them (sim/chip_options.h).
  std::string chip = {};
};
void SetLineBehaviour(std::string_view name, const LineBehaviour& behaviour);

// A faked break drops the line to 46 baud and sends one NUL: TXD is low for
// its start bit and eight data bits and then idle again by itself; clearing
// the break waits until the character and one bit more are out.
inline constexpr std::int64_t kFakedBreakLowNs = 9'000'000'000 / 46;
inline constexpr std::int64_t kFakedBreakClearNs = 11'000'000'000 / 46;

// Line switches that reached a device, in the order they happened.
const std::vector<LineEvent>& Events(std::string_view name);
const CallCounts& Counts(std::string_view name);
int OpenHandleCount();

}  // namespace fake_serial
