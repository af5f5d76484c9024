// What flash89-cli writes on its error stream while a command runs: a
// progress line redrawn in place on a terminal, a few plain lines into a
// pipe, and nothing but errors when asked to be quiet.
#include "ui/cli/cli_output.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

CommandProgress Progress(std::size_t done, std::size_t total, double msLeft) {
  return {.bytesDone = done,
          .bytesTotal = total,
          .fractionDone = total == 0 ? 0 : static_cast<double>(done) / static_cast<double>(total),
          .msLeft = msLeft};
}

class CliOutputTest : public testing::Test {
 protected:
  CliOutput Output(CliOutput::Mode mode) {
    return CliOutput(err_, mode, [this] { return nowMs_; });
  }

  std::ostringstream err_;
  double nowMs_ = 1000;
};

}  // namespace

TEST_F(CliOutputTest, TerminalRedrawsOneLineAtMostTenTimesASecond) {
  CliOutput output = Output(CliOutput::Mode::Terminal);
  output.OnProgress(Progress(0, 1000, 10'000));
  nowMs_ += 50;
  output.OnProgress(Progress(10, 1000, 9'900));  // too soon: kept for later
  EXPECT_EQ(err_.str(), "\rflash89-cli: 0 %, 0 von 1000 Bytes, noch 0:10");
  nowMs_ += 50;
  output.OnProgress(Progress(20, 1000, 9'800));
  EXPECT_EQ(err_.str(),
            "\rflash89-cli: 0 %, 0 von 1000 Bytes, noch 0:10"
            "\rflash89-cli: 2 %, 20 von 1000 Bytes, noch 0:10");
}

TEST_F(CliOutputTest, TerminalBlanksWhatAShorterLineLeavesAndEndsWithTheLastProgress) {
  CliOutput output = Output(CliOutput::Mode::Terminal);
  output.OnProgress(Progress(999, 1000, 36'000'000));  // "noch 10:00:00"
  nowMs_ += 10;
  output.OnProgress(Progress(1000, 1000, 0));  // not drawn yet
  err_.str("");
  output.EndProgress();
  EXPECT_EQ(err_.str(), "\rflash89-cli: 100 %, 1000 von 1000 Bytes, noch 0:00  \n");
  err_.str("");
  output.EndProgress();  // the line has ended already
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliOutputTest, MessageDuringProgressStartsOnALineOfItsOwn) {
  CliOutput output = Output(CliOutput::Mode::Terminal);
  output.OnProgress({.fractionDone = 0.5, .msLeft = 200});
  output.Error("Verbindung zu COM2 unterbrochen");
  EXPECT_EQ(err_.str(),
            "\rflash89-cli: 50 %, noch 0:01\n"
            "flash89-cli: Verbindung zu COM2 unterbrochen\n");
}

TEST_F(CliOutputTest, PipeGetsALineAtEachQuarterButNotAtTheEnd) {
  CliOutput output = Output(CliOutput::Mode::Plain);
  for (std::size_t done = 0; done <= 100; done += 10) output.OnProgress(Progress(done, 100, 0));
  output.EndProgress();
  EXPECT_EQ(err_.str(),
            "flash89-cli: 30 %, 30 von 100 Bytes, noch 0:00\n"
            "flash89-cli: 50 %, 50 von 100 Bytes, noch 0:00\n"
            "flash89-cli: 80 %, 80 von 100 Bytes, noch 0:00\n");
}

TEST_F(CliOutputTest, QuietSaysNothingButErrors) {
  CliOutput output = Output(CliOutput::Mode::Quiet);
  output.Message("COM2 geöffnet");
  output.OnProgress(Progress(50, 100, 100));
  output.EndProgress();
  EXPECT_EQ(err_.str(), "");
  output.Error("COM1 nicht bereit");
  EXPECT_EQ(err_.str(), "flash89-cli: COM1 nicht bereit\n");
}
