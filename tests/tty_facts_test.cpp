// What sysfs tells about the ttys, on a tree that the test builds.
#include "serial/tty_facts.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "sim/fake_sysfs.h"
#include "temp_files.h"

using tty_facts::ListSerialTtys;
using tty_facts::PortDevicePath;
using tty_facts::UsbSerialLocation;

class TtyFacts : public testing::Test {
 protected:
  void SetUp() override { fake_sysfs::Reset(); }
  static std::optional<UsbSerialLocation> Locate(const std::string& tty) {
    return tty_facts::LocateUsbSerial(tty, tty_facts::SysfsRoot());
  }
  TempFolder dev_;
};

TEST_F(TtyFacts, TtyOnAnFtdiChipNamesItsBusAddressAndDriver) {
  fake_sysfs::AddUsbSerial("ttyUSB0", 3, 14, 0, "ftdi_sio");
  const auto location = Locate("/dev/ttyUSB0");
  ASSERT_TRUE(location);
  EXPECT_EQ(location->bus, 3);
  EXPECT_EQ(location->address, 14);
  EXPECT_EQ(location->interfaceNumber, 0);
  EXPECT_EQ(location->driver, "ftdi_sio");
}

TEST_F(TtyFacts, SecondChannelOfADualChipIsItsSecondInterface) {
  fake_sysfs::AddUsbSerial("ttyUSB0", 1, 4, 0, "ftdi_sio");
  fake_sysfs::AddUsbSerial("ttyUSB1", 1, 4, 1, "ftdi_sio");
  const auto location = Locate("/dev/ttyUSB1");
  ASSERT_TRUE(location);
  EXPECT_EQ(location->interfaceNumber, 1);
  EXPECT_EQ(location->address, 4);
}

TEST_F(TtyFacts, SymbolicLinkSuchAsBySerialNumberIsFollowed) {
  fake_sysfs::AddUsbSerial("ttyUSB7", 2, 9, 0, "ftdi_sio");
  const std::string tty = dev_.Write("ttyUSB7", "");
  const std::string byId = dev_.Path("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0");
  std::filesystem::create_symlink(tty, byId);
  const auto location = Locate(byId);
  ASSERT_TRUE(location);
  EXPECT_EQ(location->address, 9);
}

TEST_F(TtyFacts, TtysNotOnUsbHaveNoLocation) {
  fake_sysfs::AddPlainTty("ttyS0");
  EXPECT_FALSE(Locate("/dev/ttyS0"));
  EXPECT_FALSE(Locate("/dev/ttyUSB3"));  // not there at all
  EXPECT_FALSE(Locate(""));
}

TEST_F(TtyFacts, PortIsAComNameOrADevicePathAsGiven) {
  unsetenv("FLASH89_COM3");
  EXPECT_EQ(PortDevicePath("COM3"), "/dev/ttyS2");
  EXPECT_EQ(PortDevicePath("COM2"), std::getenv("FLASH89_COM2"));
  for (const char* path : {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0"}) {
    EXPECT_EQ(PortDevicePath(path), path);
  }
  for (const std::string_view other :
       {std::string_view("COM0"), std::string_view("COM10"), std::string_view("com1"),
        std::string_view("ttyUSB0"), std::string_view(""), std::string_view("/dev/ttyS0\0x", 12)}) {
    EXPECT_EQ(PortDevicePath(other), "") << other;
  }
}

TEST_F(TtyFacts, ListedAreTheSerialTtysByNameWithTheirDriverAndFtdiChips) {
  fake_sysfs::AddUsbSerial("ttyUSB1", 1, 5, 0, "ch341");
  fake_sysfs::AddUsbSerial("ttyUSB0", 3, 14, 1, "ftdi_sio");
  fake_sysfs::AddPlainTty("ttyS10");
  fake_sysfs::AddPlainTty("ttyS2");
  fake_sysfs::AddPlainTty("ttyS3", false);  // no UART behind it
  fake_sysfs::AddVirtualTty("tty0");
  fake_sysfs::AddVirtualTty("console");

  const auto ttys = ListSerialTtys(tty_facts::SysfsRoot());
  ASSERT_EQ(ttys.size(), 4u);
  EXPECT_EQ(ttys[0].devicePath, "/dev/ttyS2");
  EXPECT_EQ(ttys[1].devicePath, "/dev/ttyS10");
  EXPECT_EQ(ttys[1].driver, "serial8250");
  EXPECT_FALSE(ttys[1].usb);
  EXPECT_FALSE(ttys[1].IsFtdiChip());
  EXPECT_EQ(ttys[2].devicePath, "/dev/ttyUSB0");
  ASSERT_TRUE(ttys[2].IsFtdiChip());
  EXPECT_EQ(ttys[2].usb->bus, 3);
  EXPECT_EQ(ttys[2].usb->address, 14);
  EXPECT_EQ(ttys[2].usb->interfaceNumber, 1);
  EXPECT_EQ(ttys[3].devicePath, "/dev/ttyUSB1");
  EXPECT_EQ(ttys[3].driver, "ch341");
  EXPECT_TRUE(ttys[3].usb);
  EXPECT_FALSE(ttys[3].IsFtdiChip());

  EXPECT_TRUE(ListSerialTtys(dev_.Path("no-sysfs")).empty());
}

TEST(FakeSysfs, TreeIsRemovedWhenItsProcessIsKilled) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    fake_sysfs::Reset();
    pause();
    _exit(0);
  }
  const std::filesystem::path tree =
      std::filesystem::temp_directory_path() / ("flash89-sysfs-" + std::to_string(child));
  for (int i = 0; i < 1000 && !std::filesystem::exists(tree); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const bool made = std::filesystem::exists(tree);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_TRUE(made);
  for (int i = 0; i < 1000 && std::filesystem::exists(tree); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(std::filesystem::exists(tree));
}
