// The log's line operations, as every log of the program must keep them.
// A test program includes this once and instantiates LogLinesContract with
// the logs it has: the plain model, and each memo in both of its modes.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "commands/log_lines.h"
#include "ui/form/mirrored_log.h"

class LogUnderTest {
 public:
  virtual ~LogUnderTest() = default;
  virtual LogLines& Log() = 0;
  // Replaces the whole text; lines are separated by CR LF.
  virtual void SetText(const std::string& text) = 0;
  // The text as the user would see it once the log has been shown.
  virtual std::string ShownText() = 0;
};

// The log of a window: a memo mirroring the model, outside a command or in
// the mode the program uses while one runs. Memo is a MemoText that can
// also be given a whole text, as a user's typing would.
template <class Memo>
class MirroredLogUnderTest : public LogUnderTest {
 public:
  explicit MirroredLogUnderTest(bool duringCommand) : duringCommand_(duringCommand) {
    if (duringCommand_) log_.BeginCommand();
  }
  LogLines& Log() override { return log_; }
  void SetText(const std::string& text) override {
    if (duringCommand_) log_.EndCommand();
    memo_.SetText(text);
    if (duringCommand_) log_.BeginCommand();
  }
  std::string ShownText() override {
    log_.Flush();
    return memo_.Text();
  }

 private:
  Memo memo_;
  MirroredLog log_{memo_};
  bool duringCommand_;
};

using LogFactory = std::unique_ptr<LogUnderTest> (*)();

// Both modes of a memo, for INSTANTIATE_TEST_SUITE_P.
template <class Memo>
std::unique_ptr<LogUnderTest> MemoOutsideCommand() {
  return std::make_unique<MirroredLogUnderTest<Memo>>(false);
}
template <class Memo>
std::unique_ptr<LogUnderTest> MemoDuringCommand() {
  return std::make_unique<MirroredLogUnderTest<Memo>>(true);
}

class LogLinesContract : public testing::TestWithParam<LogFactory> {
 protected:
  void SetUp() override { subject_ = GetParam()(); }
  LogLines& Log() { return subject_->Log(); }
  void SetText(const std::string& text) { subject_->SetText(text); }

  std::unique_ptr<LogUnderTest> subject_;
};

TEST_P(LogLinesContract, EmptyTextHasNoCountedLineButOneToSet) {
  SetText("");
  EXPECT_EQ(Log().LineCount(), 0);
  EXPECT_EQ(Log().GetLine(0), "");
  Log().SetLine(1, "COM1 geöffnet");  // line 1 does not exist
  EXPECT_EQ(Log().LineCount(), 0);
  Log().SetLine(0, "0000 ");
  EXPECT_EQ(Log().LineCount(), 1);
  EXPECT_EQ(Log().GetLine(0), "0000 ");
  EXPECT_EQ(subject_->ShownText(), "0000 ");
}

TEST_P(LogLinesContract, EmptyLastLineIsNotCountedButCanBeSet) {
  SetText("a\r\nb\r\n");
  EXPECT_EQ(Log().LineCount(), 2);
  EXPECT_EQ(Log().GetLine(2), "");
  Log().SetLine(2, "COM2 geöffnet");
  EXPECT_EQ(Log().LineCount(), 3);
  EXPECT_EQ(Log().GetLine(2), "COM2 geöffnet");
  EXPECT_EQ(subject_->ShownText(), "a\r\nb\r\nCOM2 geöffnet");
}

TEST_P(LogLinesContract, GetLinePastTheEndIsEmptyAndSetLineThereChangesNothing) {
  SetText("a\r\nb");
  EXPECT_EQ(Log().LineCount(), 2);
  EXPECT_EQ(Log().GetLine(1), "b");
  EXPECT_EQ(Log().GetLine(5), "");
  EXPECT_EQ(Log().GetLine(-1), "");
  Log().SetLine(2, "x");
  Log().SetLine(5, "x");
  Log().SetLine(-1, "x");
  EXPECT_EQ(Log().LineCount(), 2);
  EXPECT_EQ(subject_->ShownText(), "a\r\nb");
}

TEST_P(LogLinesContract, AddLineEndsTheTextWithCrLfOnlyWhenItDidBefore) {
  SetText("");
  Log().AddLine("");
  EXPECT_EQ(Log().LineCount(), 1);  // "" CR LF
  Log().SetLine(1, "0000 ");
  Log().AddLine("     ");  // CR LF "     "
  EXPECT_EQ(Log().LineCount(), 3);
  EXPECT_EQ(Log().GetLine(2), "     ");
  EXPECT_EQ(subject_->ShownText(), "\r\n0000 \r\n     ");
  SetText("x\r\n");
  Log().AddLine("y");  // "x" CR LF "y" CR LF
  EXPECT_EQ(Log().LineCount(), 2);
  EXPECT_EQ(Log().GetLine(1), "y");
  EXPECT_EQ(Log().GetLine(2), "");
  Log().AddLine("z");
  EXPECT_EQ(Log().LineCount(), 3);
  EXPECT_EQ(subject_->ShownText(), "x\r\ny\r\nz\r\n");
}

TEST_P(LogLinesContract, ClearLeavesAnEmptyText) {
  SetText("a\r\nb\r\nc");
  Log().ClearLog();
  EXPECT_EQ(Log().LineCount(), 0);
  EXPECT_EQ(Log().GetLine(0), "");
  EXPECT_EQ(subject_->ShownText(), "");
}

TEST_P(LogLinesContract, LinesAreReadAtMost4096Characters) {
  SetText(std::string(5000, 'x') + "\r\nshort");
  EXPECT_EQ(Log().GetLine(0), std::string(4096, 'x'));
  EXPECT_EQ(Log().GetLine(1), "short");
}
