// The log's line operations, on the window's memo and on the plain text
// model alike, so that the downloads log the same into either.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <memory>

#include "image/text_log.h"
#include "ui/memo_log.h"

namespace {

class LogUnderTest {
 public:
  virtual ~LogUnderTest() = default;
  virtual LogLines& Log() = 0;
  // Replaces the whole text; lines are separated by CR LF.
  virtual void SetText(const std::string& text) = 0;
};

class PlainLog : public LogUnderTest {
 public:
  LogLines& Log() override { return log_; }
  void SetText(const std::string& text) override { log_ = TextLog(text); }

 private:
  TextLog log_;
};

class MemoLogUnderTest : public LogUnderTest {
 public:
  LogLines& Log() override { return log_; }
  void SetText(const std::string& text) override {
    memo_.setPlainText(QString::fromStdString(text).replace("\r\n", "\n"));
  }

 private:
  QPlainTextEdit memo_;
  MemoLog log_{&memo_};
};

// The memo while a command runs: the operations work on a copy of its text.
class MemoDuringCommand : public LogUnderTest {
 public:
  ~MemoDuringCommand() override { log_.EndCommand(); }
  LogLines& Log() override { return log_; }
  void SetText(const std::string& text) override {
    log_.EndCommand();
    memo_.setPlainText(QString::fromStdString(text).replace("\r\n", "\n"));
    log_.BeginCommand();
  }

 private:
  QPlainTextEdit memo_;
  MemoLog log_{&memo_};
};

using Factory = std::unique_ptr<LogUnderTest> (*)();

}  // namespace

class LogLinesTest : public testing::TestWithParam<Factory> {
 protected:
  void SetUp() override { subject_ = GetParam()(); }
  LogLines& Log() { return subject_->Log(); }
  void SetText(const std::string& text) { subject_->SetText(text); }

  std::unique_ptr<LogUnderTest> subject_;
};

TEST_P(LogLinesTest, EmptyTextHasNoCountedLineButOneToSet) {
  SetText("");
  EXPECT_EQ(Log().LineCount(), 0);
  EXPECT_EQ(Log().GetLine(0), "");
  Log().SetLine(1, "COM1 geöffnet");  // line 1 does not exist
  EXPECT_EQ(Log().LineCount(), 0);
  Log().SetLine(0, "0000 ");
  EXPECT_EQ(Log().LineCount(), 1);
  EXPECT_EQ(Log().GetLine(0), "0000 ");
}

TEST_P(LogLinesTest, EmptyLastLineIsNotCountedButCanBeSet) {
  SetText("a\r\nb\r\n");
  EXPECT_EQ(Log().LineCount(), 2);
  EXPECT_EQ(Log().GetLine(2), "");
  Log().SetLine(2, "COM2 geöffnet");
  EXPECT_EQ(Log().LineCount(), 3);
  EXPECT_EQ(Log().GetLine(2), "COM2 geöffnet");
}

TEST_P(LogLinesTest, GetLinePastTheEndIsEmpty) {
  SetText("a\r\nb");
  EXPECT_EQ(Log().LineCount(), 2);
  EXPECT_EQ(Log().GetLine(1), "b");
  EXPECT_EQ(Log().GetLine(5), "");
  EXPECT_EQ(Log().GetLine(-1), "");
  Log().SetLine(5, "x");
  EXPECT_EQ(Log().LineCount(), 2);
}

TEST_P(LogLinesTest, AddLineEndsTheTextWithCrLfOnlyWhenItDidBefore) {
  SetText("");
  Log().AddLine("");
  EXPECT_EQ(Log().LineCount(), 1);  // "" CR LF
  Log().SetLine(1, "0000 ");
  Log().AddLine("     ");  // CR LF "     "
  EXPECT_EQ(Log().LineCount(), 3);
  EXPECT_EQ(Log().GetLine(2), "     ");
  SetText("x\r\n");
  Log().AddLine("y");  // "x" CR LF "y" CR LF
  EXPECT_EQ(Log().LineCount(), 2);
  EXPECT_EQ(Log().GetLine(1), "y");
  EXPECT_EQ(Log().GetLine(2), "");
  Log().AddLine("z");
  EXPECT_EQ(Log().LineCount(), 3);
}

TEST_P(LogLinesTest, ClearLeavesAnEmptyText) {
  SetText("a\r\nb\r\nc");
  Log().ClearLog();
  EXPECT_EQ(Log().LineCount(), 0);
  EXPECT_EQ(Log().GetLine(0), "");
}

TEST_P(LogLinesTest, LinesAreReadAtMost4096Characters) {
  SetText(std::string(5000, 'x') + "\r\nshort");
  EXPECT_EQ(Log().GetLine(0), std::string(4096, 'x'));
  EXPECT_EQ(Log().GetLine(1), "short");
}

INSTANTIATE_TEST_SUITE_P(
    BothLogs, LogLinesTest,
    testing::Values(
        +[]() -> std::unique_ptr<LogUnderTest> { return std::make_unique<PlainLog>(); },
        +[]() -> std::unique_ptr<LogUnderTest> { return std::make_unique<MemoLogUnderTest>(); }),
    [](const testing::TestParamInfo<Factory>& info) {
      return info.index == 0 ? std::string("PlainText") : std::string("Memo");
    });
