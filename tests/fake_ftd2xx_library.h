// The fake ftd2xx.dll in the system directory, as a test reaches it: the
// adapters it has, the virtual clock it keeps, and what its adapters did.
// scripts/test-windows.sh puts it there.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "serial/system_library.h"
#include "sim/chip_model.h"
#include "sim/fake_ftd2xx_hooks.h"
#include "sim/virtual_counter.h"

class FakeFtd2xxLibrary {
 public:
  // Loads the library, forgets its adapters and sets it on the virtual
  // clock; a failure to find it fails the calling test.
  void Load() {
    module_ = LoadSystemLibrary("ftd2xx.dll");
    ASSERT_NE(module_, nullptr) << "the fake ftd2xx.dll is not in the system directory";
    reset_ = Hook<FakeFtd2xxResetHook>("FakeFtd2xxReset");
    add_ = Hook<FakeFtd2xxAddAdapterHook>("FakeFtd2xxAddAdapter");
    counts_ = Hook<FakeFtd2xxCountsHook>("FakeFtd2xxCounts");
    events_ = Hook<FakeFtd2xxEventsHook>("FakeFtd2xxEvents");
    const auto useClock = Hook<FakeFtd2xxUseClockHook>("FakeFtd2xxUseClock");
    ASSERT_TRUE(reset_ && add_ && counts_ && events_ && useClock) << "not the fake ftd2xx.dll";
    useClock(virtual_counter::NowNs, virtual_counter::AdvanceTo);
    reset_();
  }

  int AdapterOn(int comNumber, double samplesPerBaud = 16) const {
    fake_ftdi::AdapterTraits traits;
    traits.comNumber = comNumber;
    traits.samplesPerBaud = samplesPerBaud;
    return add_(&traits);
  }
  fake_ftdi::AdapterCounts Counts(int adapter) const {
    fake_ftdi::AdapterCounts counts;
    counts_(adapter, &counts);
    return counts;
  }
  // What a chip on the adapter's pins made of them.
  ChipModel Chip(int adapter) const {
    std::vector<LineEvent> events(events_(adapter, nullptr, 0));
    events_(adapter, events.data(), events.size());
    ChipModel chip;
    chip.Feed(events);
    return chip;
  }

 private:
  template <class Function>
  Function Hook(const char* name) const {
    Function function = nullptr;
    const FARPROC address = GetProcAddress(module_, name);
    std::memcpy(&function, &address, sizeof function);
    return function;
  }

  HMODULE module_ = nullptr;
  FakeFtd2xxResetHook reset_ = nullptr;
  FakeFtd2xxAddAdapterHook add_ = nullptr;
  FakeFtd2xxCountsHook counts_ = nullptr;
  FakeFtd2xxEventsHook events_ = nullptr;
};
