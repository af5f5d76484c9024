// The window's behaviour without a toolkit: start-up, the port choice, the
// error box, the live log and a close asked for during a command.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <tuple>

#include "commands/commands.h"
#include "commands/text_log.h"
#include "fake_chip_fixture.h"
#include "fake_form_view.h"
#include "temp_files.h"
#include "ui/form/error_box.h"
#include "ui/form/main_form.h"

using fake_serial::DeviceState;

class Form : public FakeChipTest {
 protected:
  void Start() {
    view_.memo.text = MainForm::InitialMemoText();
    form_.FormCreate();
  }
  std::string Line(int index) { return form_.Log().GetLine(index); }

  FakeFormView view_;
  MainForm form_{view_};
  TempFolder folder_;
};

TEST_F(Form, MemoStartsWithDownloadAndEmptyLines) {
  Start();
  EXPECT_EQ(form_.Log().LineCount(), 148);
  EXPECT_EQ(Line(0), "Download ...");
  EXPECT_EQ(Line(147), "");
}

struct StartUpCase {
  const char* name;
  bool com1, com2;
  const char* selected;  // and marked
  const char* status;
};

class StartUp : public Form, public testing::WithParamInterface<StartUpCase> {};

TEST_P(StartUp, ProbesComTwoThenFallsBackToComOne) {
  const StartUpCase& c = GetParam();
  fake_serial::SetDevice("COM1", c.com1 ? DeviceState::Present : DeviceState::Absent);
  fake_serial::SetDevice("COM2", c.com2 ? DeviceState::Present : DeviceState::Absent);
  Start();
  EXPECT_EQ(form_.SelectedPort, c.selected);
  EXPECT_EQ(view_.markedPort, c.selected);
  EXPECT_EQ(Line(1), c.status);
  EXPECT_EQ(fake_serial::OpenHandleCount(), 0);
  // COM1 is tried twice when COM2 is missing: by its handler and once more.
  EXPECT_EQ(fake_serial::Counts("COM1").opens + fake_serial::Counts("COM1").failedOpens,
            c.com2 ? 0 : 2);
}

INSTANTIATE_TEST_SUITE_P(
    Form, StartUp,
    testing::Values(StartUpCase{"ComTwo", false, true, "COM2", ""},
                    StartUpCase{"OnlyComOne", true, false, "COM1", "COM1 geöffnet"},
                    // COM1 is not ready either: the commands go on using COM2.
                    StartUpCase{"Neither", false, false, "COM2", "COM1 nicht bereit"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form, ChosenPortThatIsMissingFallsBackToTheOther) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  Start();
  form_.RadioButton2Click();
  EXPECT_EQ(Line(1), "COM2 nicht bereit");
  EXPECT_EQ(form_.SelectedPort, "COM1");
  EXPECT_EQ(view_.markedPort, "COM1");
  fake_serial::SetDevice("COM2", DeviceState::Present);
  form_.RadioButton2Click();
  EXPECT_EQ(Line(1), "COM2 geöffnet");
  EXPECT_EQ(form_.SelectedPort, "COM2");
  EXPECT_EQ(view_.markedPort, "COM2");
}

TEST_F(Form, FailedCommandShowsTheErrorBoxWithTheProgramsTitle) {
  Start();  // neither port: COM2 is still chosen
  view_.executable = "/opt/tools/FLASH89.EXE";
  form_.EraseClick();
  view_.dialogs.answers = {folder_.Write("bad.hex", ":0300000002003BC1\n")};
  fake_serial::SetDevice("COM2", DeviceState::Present);
  form_.FlashHexClick();
  ASSERT_EQ(view_.dialogs.errors.size(), 2u);
  EXPECT_EQ(view_.dialogs.errors[0], "COM2 nicht bereit.");
  EXPECT_EQ(view_.dialogs.errors[1], "Zeile 1: Prüfsummenfehler.");
  EXPECT_EQ(view_.dialogs.errorCaptions[0], "Flash89");
  EXPECT_EQ(view_.dialogs.presets, std::vector<std::string>{"*.hex"});
  EXPECT_FALSE(ChipWasReset("COM2"));
  EXPECT_FALSE(form_.CommandRunning());
}

TEST_F(Form, CloseDuringACommandWaitsForItsEnd) {
  fake_serial::SetDevice("COM2", DeviceState::Present);
  Start();
  bool mayCloseDuringCommand = true;
  view_.dialogs.answers = {TestImage("blink_lf.hex")};
  view_.dialogs.onAsk = [&] { mayCloseDuringCommand = form_.CloseQuery(); };
  form_.FlashHexClick();
  EXPECT_FALSE(mayCloseDuringCommand);
  EXPECT_EQ(view_.closes, 1);  // once the download had ended
  EXPECT_TRUE(form_.CloseQuery());
  const std::string image = ReadWhole(TestImage("blink.bin"));
  EXPECT_EQ(ChipOn("COM2").Flash(), ErasedFlashWith({image.begin(), image.end()}));
}

TEST_F(Form, LogIsShownWhileADownloadRunsWithoutLengtheningIt) {
  fake_serial::SetDevice("COM2", DeviceState::Present);
  Start();
  std::vector<std::string> shownDuringDownload;
  view_.onRepaint = [&] { shownDuringDownload.push_back(view_.memo.text); };
  view_.dialogs.answers = {TestImage("big_1k.hex")};
  virtual_counter::Reset(100);  // slower in real time, so that repaints fall due
  form_.FlashHexClick();
  // Some repaint showed the download's log part written.
  const bool partlyWritten = std::any_of(
      shownDuringDownload.begin(), shownDuringDownload.end(), [&](const std::string& shown) {
        return shown.starts_with("\r\n0000  ") && shown.size() < view_.memo.text.size();
      });
  EXPECT_TRUE(partlyWritten) << shownDuringDownload.size() << " repaints";
  const ChipModel chip = ChipOn("COM2");
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  // In the end the memo holds what the plain log of the same download does.
  TextLog plain;
  FakeChipTest::SetUp();
  fake_serial::SetDevice("COM2", DeviceState::Present);
  ASSERT_EQ(DownloadCommand({.port = "COM2", .file = FileNamed(TestImage("big_1k.hex"))}, plain),
            std::nullopt);
  EXPECT_EQ(view_.memo.text, plain.Text());
}

struct TitledCommand {
  const char* name;
  void (MainForm::*click)();
  const char* image;
};

class Title : public Form,
              public testing::WithParamInterface<std::tuple<TitledCommand, std::int64_t>> {};

TEST_P(Title, ShowsShareDoneAndTimeLeftWhileACommandRuns) {
  const auto& [command, switchCostNs] = GetParam();
  fake_serial::SetDevice("COM2", DeviceState::Present);
  fake_serial::SetLineBehaviour("COM2", {.switchCostNs = switchCostNs});
  Start();
  if (command.image != nullptr) view_.dialogs.answers = {TestImage(command.image)};
  (form_.*command.click)();
  const std::regex progress("VU74/Flash AT89S8253 – [0-9]{1,2} %, noch [0-9]+ (s|min)");
  ASSERT_GE(view_.captions.size(), 3u);
  for (std::size_t i = 0; i + 1 < view_.captions.size(); ++i) {
    EXPECT_TRUE(std::regex_match(view_.captions[i], progress)) << view_.captions[i];
  }
  EXPECT_EQ(view_.captions.back(), "VU74/Flash AT89S8253");
  EXPECT_TRUE(view_.dialogs.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Form, Title,
    testing::Combine(
        testing::Values(TitledCommand{"FlashHex", &MainForm::FlashHexClick, "blink_lf.hex"},
                        TitledCommand{"FlashBin", &MainForm::FlashBinClick, "blink.bin"},
                        TitledCommand{"Erase", &MainForm::EraseClick, nullptr}),
        testing::Values(std::int64_t{0}, std::int64_t{1'000'000})),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) > 0 ? "OnASlowPort" : "OnAFastPort");
    });

TEST(ErrorBox, CaptionIsTheExecutableNameInTitleCase) {
  EXPECT_EQ(ErrorBoxCaption("/usr/bin/flash89"), "flash89");
  EXPECT_EQ(ErrorBoxCaption("C:\\Tools\\FLASH89.EXE"), "Flash89");
  EXPECT_EQ(ErrorBoxCaption("/opt/x/Vu74.Flash.exe"), "Vu74");
  EXPECT_EQ(ErrorBoxCaption(".hidden"), "");
}

TEST(ErrorBox, TextGetsAFullStopAfterALetterOrDigitOnly) {
  EXPECT_EQ(ErrorBoxText("COM2 nicht bereit"), "COM2 nicht bereit.");
  EXPECT_EQ(ErrorBoxText("E/A-Fehler 5"), "E/A-Fehler 5.");
  EXPECT_EQ(ErrorBoxText("Fertig."), "Fertig.");
  EXPECT_EQ(ErrorBoxText("Wirklich?"), "Wirklich?.");
  EXPECT_EQ(ErrorBoxText("Ende!"), "Ende!");
  EXPECT_EQ(ErrorBoxText("Datei zu groß"), "Datei zu groß.");
  EXPECT_EQ(ErrorBoxText(""), "");
}
