// What a test reaches in the fake ftd2xx.dll besides FTDI's own functions:
// the adapters it should have, the clock it should keep, and what happened.
// Plain C types only, as they cross the DLL's edge.
#pragma once

#include <cstddef>

#include "sim/fake_ftdi_device.h"

extern "C" {
using FakeFtd2xxResetHook = void (*)();
using FakeFtd2xxAddAdapterHook = int (*)(const fake_ftdi::AdapterTraits* traits);
using FakeFtd2xxUseClockHook = void (*)(fake_ftdi::NowFunction now,
                                        fake_ftdi::AdvanceFunction advance);
using FakeFtd2xxCountsHook = void (*)(int index, fake_ftdi::AdapterCounts* counts);
// Copies up to capacity of an adapter's line events; returns how many it has.
using FakeFtd2xxEventsHook = std::size_t (*)(int index, LineEvent* events, std::size_t capacity);
}
