// Tests with an FTDI adapter behind COM2: the program's own libftdi adapter
// over the fake libftdi and a fake sysfs tree, in virtual time.
#pragma once

#include <cstdlib>
#include <filesystem>

#include "fake_chip_fixture.h"
#include "serial/adapter_lines.h"
#include "sim/fake_ftdi_device.h"
#include "sim/fake_sysfs.h"

class FakeFtdiTest : public FakeChipTest {
 protected:
  void SetUp() override {
    FakeChipTest::SetUp();
    fake_ftdi::Reset();
    fake_ftdi::UseClock(virtual_counter::NowNs, virtual_counter::AdvanceTo);
    fake_sysfs::Reset();
    unsetenv(kBitBangSetting);
    fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
  }
  void TearDown() override {
    ResetSerialModule();
    unsetenv(kBitBangSetting);
  }

  // The tty's name as the port's environment variable gives it.
  static std::string TtyOf(const char* port) {
    return std::filesystem::path(
               std::getenv(port == std::string("COM1") ? "FLASH89_COM1" : "FLASH89_COM2"))
        .filename()
        .string();
  }

  // An FTDI adapter whose tty is the one that FLASH89_COM2 names.
  static int AdapterOnCom2(const fake_ftdi::AdapterTraits& traits = {},
                           const std::string& driver = "ftdi_sio") {
    fake_sysfs::AddUsbSerial(TtyOf("COM2"), traits.bus, traits.address, 0, driver);
    return fake_ftdi::AddAdapter(traits);
  }

  static fake_ftdi::AdapterTraits WithMultiplier(double samplesPerBaud, double clockError = 1.0) {
    fake_ftdi::AdapterTraits traits;
    traits.samplesPerBaud = samplesPerBaud;
    traits.clockError = clockError;
    return traits;
  }

  static ChipModel ChipOnAdapter(int adapter) {
    ChipModel chip;
    chip.Feed(fake_ftdi::Events(adapter));
    return chip;
  }
};
