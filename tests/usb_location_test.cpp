// Finding the USB device behind a tty through sysfs.
#include "serial/usb_location.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sim/fake_sysfs.h"
#include "temp_files.h"

class UsbLocation : public testing::Test {
 protected:
  void SetUp() override { fake_sysfs::Reset(); }
  std::optional<UsbSerialLocation> Locate(const std::string& tty) const {
    return LocateUsbSerial(tty, fake_sysfs::Root());
  }
  TempFolder dev_;
};

TEST_F(UsbLocation, TtyOnAnFtdiChipNamesItsBusAddressAndDriver) {
  fake_sysfs::AddUsbSerial("ttyUSB0", 3, 14, 0, "ftdi_sio");
  const auto location = Locate("/dev/ttyUSB0");
  ASSERT_TRUE(location);
  EXPECT_EQ(location->bus, 3);
  EXPECT_EQ(location->address, 14);
  EXPECT_EQ(location->interfaceNumber, 0);
  EXPECT_EQ(location->driver, "ftdi_sio");
}

TEST_F(UsbLocation, SecondChannelOfADualChipIsItsSecondInterface) {
  fake_sysfs::AddUsbSerial("ttyUSB0", 1, 4, 0, "ftdi_sio");
  fake_sysfs::AddUsbSerial("ttyUSB1", 1, 4, 1, "ftdi_sio");
  const auto location = Locate("/dev/ttyUSB1");
  ASSERT_TRUE(location);
  EXPECT_EQ(location->interfaceNumber, 1);
  EXPECT_EQ(location->address, 4);
}

TEST_F(UsbLocation, SymbolicLinkSuchAsBySerialNumberIsFollowed) {
  fake_sysfs::AddUsbSerial("ttyUSB7", 2, 9, 0, "ftdi_sio");
  const std::string tty = dev_.Write("ttyUSB7", "");
  const std::string byId = dev_.Path("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0");
  std::filesystem::create_symlink(tty, byId);
  const auto location = Locate(byId);
  ASSERT_TRUE(location);
  EXPECT_EQ(location->address, 9);
}

TEST_F(UsbLocation, TtysNotOnUsbHaveNoLocation) {
  fake_sysfs::AddPlainTty("ttyS0");
  EXPECT_FALSE(Locate("/dev/ttyS0"));
  EXPECT_FALSE(Locate("/dev/ttyUSB3"));  // not there at all
  EXPECT_FALSE(Locate(""));
}
