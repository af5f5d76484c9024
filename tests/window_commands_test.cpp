// Each button, the dialogs, the title and a close reaching the form; what
// the form does with them is its own tests'.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>
#include <QWindow>

#include "temp_files.h"
#include "ui/form/error_box.h"
#include "window_fixture.h"

using fake_serial::DeviceState;

class WindowCommands : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    fake_serial::SetDevice("COM2", DeviceState::Present);
    Start();
    form_->show();
  }

  TempFolder folder_;
};

TEST_F(WindowCommands, EraseErasesTheChipOnTheSelectedPort) {
  form_->Erase->click();
  const ChipModel chip = ChipOn("COM2");
  EXPECT_EQ(chip.EraseCount(), 1);
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_TRUE(dialogs_.errors.empty());
  EXPECT_EQ(Line(0), "Download ...");
}

TEST_F(WindowCommands, MissingPortShowsTheErrorBoxAndTheWindowGoesOn) {
  fake_serial::SetDevice("COM2", DeviceState::Absent);
  form_->Erase->click();
  form_->FlashHex->click();
  ASSERT_EQ(dialogs_.errors.size(), 2u);
  EXPECT_EQ(dialogs_.errors[0], "COM2 nicht bereit.");
  EXPECT_EQ(dialogs_.errorCaptions[0],
            ErrorBoxCaption(QCoreApplication::applicationFilePath().toStdString()));
  EXPECT_FALSE(form_->CommandRunning());
}

TEST_F(WindowCommands, FlashHexAsksForAHexFileAndWritesIt) {
  dialogs_.answers = {TestImage("blink_lf.hex")};
  form_->FlashHex->click();
  EXPECT_EQ(dialogs_.presets, std::vector<std::string>{"*.hex"});
  const std::string binary = ReadWhole(TestImage("blink.bin"));
  EXPECT_EQ(ChipOn("COM2").Flash(), ErasedFlashWith({binary.begin(), binary.end()}));
  EXPECT_EQ(Line(0), "");
  EXPECT_EQ(Line(1), "0000  02 00 06");
  EXPECT_TRUE(dialogs_.errors.empty());
}

TEST_F(WindowCommands, FlashBinAsksForABinFileAndWritesIt) {
  dialogs_.answers = {folder_.Write("two.bin", "\x12\x34")};
  form_->FlashBin->click();
  EXPECT_EQ(dialogs_.presets, std::vector<std::string>{"*.bin"});
  EXPECT_EQ(ChipOn("COM2").Flash(), ErasedFlashWith({0x12, 0x34}));
  EXPECT_EQ(Line(0), "0000  12 34");
  // A status message then takes the empty last line.
  form_->RadioButton1->click();
  EXPECT_EQ(Line(1), "COM1 nicht bereit");
}

TEST_F(WindowCommands, LogRepaintsWhileADownloadRunsAndCloseWaitsForItsEnd) {
  struct PaintCounter : QObject {
    int paintsWhileRunning = 0;
    const TForm1* form = nullptr;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint && form->CommandRunning()) ++paintsWhileRunning;
      return false;
    }
  } counter;
  counter.form = form_.get();
  form_->Memo1->viewport()->installEventFilter(&counter);

  dialogs_.answers = {TestImage("big_1k.hex")};
  // The window is asked to close as the download starts.
  dialogs_.onAsk = [&] { QCoreApplication::postEvent(form_->windowHandle(), new QCloseEvent); };
  // Finer virtual steps, so that the download lasts long enough in real
  // time for the window to repaint.
  virtual_counter::Reset(100);
  form_->FlashHex->click();

  EXPECT_GT(counter.paintsWhileRunning, 0);
  const std::string image = ReadWhole(TestImage("big_1k.bin"));
  EXPECT_EQ(ChipOn("COM2").Flash(), ErasedFlashWith({image.begin(), image.end()}));
  EXPECT_TRUE(form_->isVisible());  // not while the download ran
  QCoreApplication::processEvents();
  EXPECT_FALSE(form_->isVisible());
}

TEST_F(WindowCommands, FormsTitlesReachTheWindowsTitle) {
  struct TitleRecorder : QObject {
    std::vector<QString> titles;
    const QWidget* form = nullptr;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::WindowTitleChange) titles.push_back(form->windowTitle());
      return false;
    }
  } recorder;
  recorder.form = form_.get();
  form_->installEventFilter(&recorder);
  fake_serial::SetLineBehaviour("COM2", {.switchCostNs = 1'000'000});

  form_->Erase->click();

  ASSERT_GE(recorder.titles.size(), 2u);
  EXPECT_TRUE(
      recorder.titles.front().startsWith(QStringLiteral("VU74/Flash AT89S8253 – 0 %, noch ")))
      << recorder.titles.front().toStdString();
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("VU74/Flash AT89S8253"));
}
