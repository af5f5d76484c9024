// The log's line rules on the window's Qt memo, in both of its modes.
#include <QPlainTextEdit>

#include "log_lines_contract.h"
#include "ui/form/mirrored_log.h"
#include "ui/qt/memo_text.h"

namespace {

class QtMemo : public LogUnderTest {
 public:
  explicit QtMemo(bool duringCommand) : duringCommand_(duringCommand) {
    if (duringCommand_) log_.BeginCommand();
  }
  LogLines& Log() override { return log_; }
  void SetText(const std::string& text) override {
    if (duringCommand_) log_.EndCommand();
    memo_.setPlainText(QString::fromStdString(text).replace("\r\n", "\n"));
    if (duringCommand_) log_.BeginCommand();
  }
  std::string ShownText() override {
    log_.Flush();
    return memo_.toPlainText().replace("\n", "\r\n").toStdString();
  }

 private:
  QPlainTextEdit memo_;
  QtMemoText text_{&memo_};
  MirroredLog log_{text_};
  bool duringCommand_;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    QtMemo, LogLinesContract,
    testing::Values(
        +[]() -> std::unique_ptr<LogUnderTest> { return std::make_unique<QtMemo>(false); },
        +[]() -> std::unique_ptr<LogUnderTest> { return std::make_unique<QtMemo>(true); }),
    [](const testing::TestParamInfo<LogFactory>& info) {
      return std::string(info.index == 0 ? "Memo" : "MemoDuringCommand");
    });
