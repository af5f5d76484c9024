// The log's line rules on the plain model and on a memo that mirrors it,
// outside a command and in the mode the program uses while one runs.
#include "commands/text_log.h"
#include "fake_form_view.h"
#include "log_lines_contract.h"

namespace {

class PlainLog : public LogUnderTest {
 public:
  LogLines& Log() override { return log_; }
  void SetText(const std::string& text) override { log_ = TextLog(text); }
  std::string ShownText() override { return log_.Text(); }

 private:
  TextLog log_;
};

std::string LogName(std::size_t index) {
  static const char* const names[] = {"PlainText", "Memo", "MemoDuringCommand"};
  return names[index];
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    EveryLog, LogLinesContract,
    testing::Values(
        +[]() -> std::unique_ptr<LogUnderTest> { return std::make_unique<PlainLog>(); },
        &MemoOutsideCommand<StringMemo>, &MemoDuringCommand<StringMemo>),
    [](const testing::TestParamInfo<LogFactory>& info) { return LogName(info.index); });

TEST(MirroredLogDuringCommand, MemoChangesOnlyWhenFlushed) {
  StringMemo memo;
  memo.text = "Download ...\r\nCOM2 geöffnet\r\n";
  MirroredLog log(memo);
  log.BeginCommand();
  log.ClearLog();
  log.AddLine("");
  log.SetLine(1, "0000 ");
  EXPECT_EQ(memo.text, "Download ...\r\nCOM2 geöffnet\r\n");
  log.Flush();
  EXPECT_EQ(memo.text, "\r\n0000 ");
  const int afterFirstFlush = memo.replacements;
  log.Flush();  // nothing new to show
  EXPECT_EQ(memo.replacements, afterFirstFlush);
  log.SetLine(1, "0000  02");
  log.EndCommand();
  EXPECT_EQ(memo.text, "\r\n0000  02");
  EXPECT_EQ(log.LastChangedLine(), 1);
}

TEST(MirroredLogOutsideCommand, ReadsWhatTheUserTypedIntoTheMemo) {
  StringMemo memo;
  memo.text = "Download ...\r\n\r\n";
  MirroredLog log(memo);
  memo.text = "edited\r\n\r\nthird";
  EXPECT_EQ(log.LineCount(), 3);
  log.SetLine(1, "COM1 geöffnet");
  EXPECT_EQ(memo.text, "edited\r\nCOM1 geöffnet\r\nthird");
}
