// The window's commands on an FTDI adapter behind COM2, as a person clicks
// them: each lands in the chip whatever the adapter's baud multiplier, and
// an adapter whose rate cannot be trusted gives the lost-port error box.
#include <gtest/gtest.h>

#include <QPushButton>
#include <memory>

#include "fake_ftdi_fixture.h"
#include "temp_files.h"
#include "window_fixture.h"

class WindowOnAdapter : public FakeFtdiTest {
 protected:
  void Start(const fake_ftdi::AdapterTraits& traits) {
    adapter_ = AdapterOnCom2(traits);
    form_ = std::make_unique<TForm1>(&dialogs_);
    form_->show();
  }
  void TearDown() override {
    form_.reset();
    FakeFtdiTest::TearDown();
  }

  ScriptedDialogs dialogs_;
  std::unique_ptr<TForm1> form_;
  int adapter_ = -1;
  TempFolder folder_;
};

class WindowOnEitherMultiplier : public WindowOnAdapter,
                                 public testing::WithParamInterface<double> {};

TEST_P(WindowOnEitherMultiplier, EraseFlashHexAndFlashBinLandByteForByte) {
  Start(WithMultiplier(GetParam()));
  form_->Erase->click();
  EXPECT_EQ(ChipOnAdapter(adapter_).EraseCount(), 1);

  const std::string binary = ReadWhole(TestImage("blink.bin"));
  dialogs_.answers = {QString::fromStdString(TestImage("blink_lf.hex"))};
  form_->FlashHex->click();
  EXPECT_EQ(ChipOnAdapter(adapter_).Flash(), ErasedFlashWith({binary.begin(), binary.end()}));
  EXPECT_EQ(form_->Log().GetLine(1), "0000  02 00 06");

  const std::string other("\x5A\x00\xC3\xFF\x01", 5);
  dialogs_.answers = {QString::fromStdString(folder_.Write("other.bin", other))};
  form_->FlashBin->click();
  const ChipModel chip = ChipOnAdapter(adapter_);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith({other.begin(), other.end()}));
  EXPECT_EQ(form_->Log().GetLine(0), "0000  5A 00 C3 FF 01");

  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_TRUE(dialogs_.errors.empty());
  EXPECT_EQ(fake_ftdi::Counts(adapter_).samplesCutOff, 0);
  EXPECT_TRUE(fake_ftdi::Counts(adapter_).kernelDriverAttached);
}

INSTANTIATE_TEST_SUITE_P(SamplesPerBaud, WindowOnEitherMultiplier, testing::Values(4.0, 16.0),
                         [](const auto& info) {
                           return "Times" + std::to_string(int(info.param));
                         });

TEST_F(WindowOnAdapter, UntrustedRateShowsTheLostPortErrorAndWritesNothing) {
  Start(WithMultiplier(8));
  dialogs_.answers = {QString::fromStdString(TestImage("blink_lf.hex"))};
  form_->FlashHex->click();
  ASSERT_EQ(dialogs_.errors.size(), 1u);
  EXPECT_EQ(dialogs_.errors[0], "Verbindung zu COM2 unterbrochen.");
  EXPECT_TRUE(ChipOnAdapter(adapter_).Instructions().empty());
  EXPECT_FALSE(form_->CommandRunning());
}
