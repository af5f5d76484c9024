// The Win32 window's commands on an FTDI adapter behind COM2, through the
// fake ftd2xx.dll in the system directory: each lands in the chip whatever
// the adapter's baud multiplier, and an adapter whose rate cannot be
// trusted gives the lost-port error box.
#include <gtest/gtest.h>

#include "fake_ftd2xx_library.h"
#include "temp_files.h"
#include "win32_window_fixture.h"

using fake_serial::DeviceState;

class Win32WindowOnAdapter : public Win32WindowTest {
 protected:
  void StartOnAdapter(double samplesPerBaud) {
    ASSERT_NO_FATAL_FAILURE(library_.Load());
    adapter_ = library_.AdapterOn(2, samplesPerBaud);
    // The COM port the adapter's driver makes; it is given up for the adapter.
    fake_serial::SetDevice("COM2", DeviceState::Present);
    Start();
    ShowWindow(form_->Handle, SW_SHOW);
    Pump();
  }
  void Click(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
    Pump();
  }

  FakeFtd2xxLibrary library_;
  int adapter_ = -1;
  TempFolder folder_;
};

class Win32WindowOnEitherMultiplier : public Win32WindowOnAdapter,
                                      public testing::WithParamInterface<double> {};

TEST_P(Win32WindowOnEitherMultiplier, EraseFlashHexAndFlashBinLandByteForByte) {
  ASSERT_NO_FATAL_FAILURE(StartOnAdapter(GetParam()));
  Click(form_->Erase);
  EXPECT_EQ(library_.Chip(adapter_).EraseCount(), 1);

  const std::string binary = ReadWhole(TestImage("blink.bin"));
  dialogs_.answers = {TestImage("blink_lf.hex")};
  Click(form_->FlashHex);
  EXPECT_EQ(library_.Chip(adapter_).Flash(), ErasedFlashWith({binary.begin(), binary.end()}));
  EXPECT_EQ(Line(1), "0000  02 00 06");

  const std::string other("\x5A\x00\xC3\xFF\x01", 5);
  dialogs_.answers = {folder_.Write("other.bin", other)};
  Click(form_->FlashBin);
  const ChipModel chip = library_.Chip(adapter_);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith({other.begin(), other.end()}));
  EXPECT_EQ(Line(0), "0000  5A 00 C3 FF 01");

  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_TRUE(dialogs_.errors.empty());
  // Every line switch went to the adapter, none to the serial port.
  EXPECT_TRUE(fake_serial::Events("COM2").empty());
  const fake_ftdi::AdapterCounts counts = library_.Counts(adapter_);
  EXPECT_EQ(counts.samplesCutOff, 0);
  EXPECT_FALSE(counts.open);
}

INSTANTIATE_TEST_SUITE_P(SamplesPerBaud, Win32WindowOnEitherMultiplier, testing::Values(4.0, 16.0),
                         [](const auto& info) {
                           return "Times" + std::to_string(int(info.param));
                         });

TEST_F(Win32WindowOnAdapter, UntrustedRateShowsTheLostPortErrorAndWritesNothing) {
  ASSERT_NO_FATAL_FAILURE(StartOnAdapter(8));
  dialogs_.answers = {TestImage("blink_lf.hex")};
  Click(form_->FlashHex);
  ASSERT_EQ(dialogs_.errors.size(), 1u);
  EXPECT_EQ(dialogs_.errors[0], "Verbindung zu COM2 unterbrochen.");
  EXPECT_TRUE(library_.Chip(adapter_).Instructions().empty());
  EXPECT_TRUE(IsWindowEnabled(form_->FlashHex));
}
