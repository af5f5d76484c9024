// The download log that flash89-cli prints: the line rules of every log,
// each line written as soon as it is finished, and the same lines as the
// window shows for the same download.
#include <gtest/gtest.h>

#include <sstream>

#include "commands/commands.h"
#include "fake_chip_fixture.h"
#include "fake_form_view.h"
#include "image/hex_text.h"
#include "log_lines_contract.h"
#include "temp_files.h"
#include "ui/cli/streamed_log.h"
#include "ui/form/main_form.h"

using fake_serial::DeviceState;

namespace {

class Streamed : public LogUnderTest {
 public:
  LogLines& Log() override { return *log_; }
  void SetText(const std::string& text) override {
    log_ = std::make_unique<StreamedLog>(out_);
    // The text as the lines a command would have made of it.
    std::size_t start = 0;
    int line = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      log_->AddLine("");
      log_->SetLine(line++, text.substr(start, end - start));
    }
    if (start < text.size()) log_->SetLine(line, text.substr(start));
  }
  std::string ShownText() override { return log_->Text(); }

 private:
  std::ostringstream out_;
  std::unique_ptr<StreamedLog> log_ = std::make_unique<StreamedLog>(out_);
};

INSTANTIATE_TEST_SUITE_P(CommandLine, LogLinesContract,
                         testing::Values(+[]() -> std::unique_ptr<LogUnderTest> {
                           return std::make_unique<Streamed>();
                         }));

// The window's memo text as lines on a stream.
std::string AsStreamLines(const std::string& memoText) {
  std::string lines;
  std::size_t start = 0;
  for (std::size_t end; (end = memoText.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    lines += memoText.substr(start, end - start) + "\n";
  }
  // A text that ends with CR LF has an empty last line, which is no line.
  if (start < memoText.size()) lines += memoText.substr(start) + "\n";
  return lines;
}

// A HEX file of one-byte records at 0000, 0001, ...
std::string OneByteRecords(unsigned count) {
  std::string text;
  for (unsigned address = 0; address < count; ++address) {
    const unsigned sum = 0x01 + (address >> 8) + (address & 0xFF) + 0x5A;
    text += ":01" + WordToHex(address) + "005A" + ByteToHex((0x100 - (sum & 0xFF)) & 0xFF) + "\n";
  }
  return text + ":00000001FF\n";
}

}  // namespace

TEST(StreamedLogLines, LineIsWrittenOnceTheNextHasBegun) {
  std::ostringstream out;
  StreamedLog log(out);
  log.ClearLog();
  log.AddLine("");
  log.SetLine(1, "0000 ");
  EXPECT_EQ(out.str(), "\n");  // the first line, empty, is finished
  log.SetLine(1, "0000  02");
  log.AddLine("");
  EXPECT_EQ(out.str(), "\n");  // the next line has no text yet
  log.SetLine(2, "0003 ");
  EXPECT_EQ(out.str(), "\n0000  02\n");
  log.Finish();
  EXPECT_EQ(out.str(), "\n0000  02\n0003 \n");
  log.Finish();
  EXPECT_EQ(out.str(), "\n0000  02\n0003 \n");
}

class StreamedDownload : public FakeChipTest {
 protected:
  void SetUp() override {
    FakeChipTest::SetUp();
    fake_serial::SetDevice("COM2", DeviceState::Present);
  }

  // What the window's memo holds after its own download of the file.
  std::string WindowMemoAfter(void (MainForm::*click)(), const std::string& path) {
    FakeFormView view;
    view.memo.text = MainForm::InitialMemoText();
    MainForm form(view);
    view.dialogs.answers.push_back(path);
    (form.*click)();
    EXPECT_TRUE(view.dialogs.errors.empty());
    return view.memo.text;
  }

  TempFolder folder_;
};

TEST_F(StreamedDownload, GivesTheWindowsLinesForEveryImage) {
  const std::string binary = folder_.Write("forty.bin", std::string(40, '\x5A'));
  const std::string sixteen = folder_.Write("sixteen.bin", std::string(32, '\x00'));
  for (const auto& [click, path] : {std::pair{&MainForm::FlashHexClick, TestImage("blink_lf.hex")},
                                    std::pair{&MainForm::FlashHexClick, TestImage("blink_32.hex")},
                                    std::pair{&MainForm::FlashBinClick, binary},
                                    std::pair{&MainForm::FlashBinClick, sixteen}}) {
    SCOPED_TRACE(path);
    const std::string memo = WindowMemoAfter(click, path);
    std::ostringstream out;
    StreamedLog log(out);
    const ImageFormat format =
        click == &MainForm::FlashHexClick ? ImageFormat::IntelHex : ImageFormat::Binary;
    ASSERT_EQ(DownloadCommand({.file = FileNamed(path), .format = format}, log), std::nullopt);
    log.Finish();
    EXPECT_EQ(out.str(), AsStreamLines(memo));
  }
}

TEST_F(StreamedDownload, KeepsTheLinesThatTheWindowClearsAwayWhenItsLogIsFull) {
  const std::string path = folder_.Write("many.hex", OneByteRecords(300));
  const std::string memo = WindowMemoAfter(&MainForm::FlashHexClick, path);
  std::ostringstream out;
  StreamedLog log(out);
  ASSERT_EQ(DownloadCommand({.port = "COM2", .file = FileNamed(path)}, log), std::nullopt);
  log.Finish();
  // An empty line, a line per record and the end record's address: all of
  // them, the window's last ones at the end.
  std::string expected = "\n";
  for (unsigned address = 0; address < 300; ++address) expected += WordToHex(address) + "  5A\n";
  expected += "0000 \n";
  EXPECT_EQ(out.str(), expected);
  const std::string shown = AsStreamLines(memo);
  EXPECT_EQ(out.str().substr(out.str().size() - shown.size()), shown);
}
