// The log's line rules on the window's Qt memo, in both of its modes.
#include <QPlainTextEdit>

#include "log_lines_contract.h"
#include "ui/qt/memo_text.h"

namespace {

class QtTestMemo : public MemoText {
 public:
  virtual ~QtTestMemo() = default;
  std::string Text() const override { return text_.Text(); }
  void ReplaceLinesFrom(int firstLine, const std::string& lines) override {
    text_.ReplaceLinesFrom(firstLine, lines);
  }
  void SetText(const std::string& text) {
    edit_.setPlainText(QString::fromStdString(text).replace("\r\n", "\n"));
  }

 private:
  QPlainTextEdit edit_;
  QtMemoText text_{&edit_};
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(QtMemo, LogLinesContract,
                         testing::Values(&MemoOutsideCommand<QtTestMemo>,
                                         &MemoDuringCommand<QtTestMemo>),
                         [](const testing::TestParamInfo<LogFactory>& info) {
                           return std::string(info.index == 0 ? "Memo" : "MemoDuringCommand");
                         });
