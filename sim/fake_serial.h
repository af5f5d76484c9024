// An in-process serial device behind the device seam, for tests and
// benchmarks: no kernel, every line switch recorded with its time stamp.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/line_event.h"

namespace fake_serial {

enum class DeviceState : std::uint8_t { Absent, Present, Busy };

struct CallCounts {
  int opens = 0;  // successful opens
  int failedOpens = 0;
  int closes = 0;
  int switches = 0;  // line switch calls, failed ones included
  int failedSwitches = 0;
};

// Forgets all devices, events and counts: every port is absent.
void Reset();

// failAfterSwitches >= 0: the device accepts that many line switches and
// refuses every later one, as an unplugged USB adapter does.
void SetDevice(std::string_view name, DeviceState state, int failAfterSwitches = -1);

// Line switches that reached a device, in the order they happened.
const std::vector<LineEvent>& Events(std::string_view name);
const CallCounts& Counts(std::string_view name);
int OpenHandleCount();

}  // namespace fake_serial
