#include "ui/qt/memo_text.h"

#include <QPlainTextEdit>
#include <QTextBlock>

namespace {

QString FromCrLf(const std::string& text) {
  return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QTextBlock BlockAt(const QPlainTextEdit* memo, int index) {
  return memo->document()->findBlockByNumber(index);
}

}  // namespace

std::string QtMemoText::Text() const {
  return memo_->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdString();
}

void QtMemoText::ReplaceLinesFrom(int firstLine, const std::string& lines) {
  QTextCursor cursor(memo_->document());
  if (firstLine > 0) {
    cursor.setPosition(BlockAt(memo_, firstLine - 1).position());
    cursor.movePosition(QTextCursor::EndOfBlock);
  }
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  const QString rest = FromCrLf(lines);
  cursor.insertText(firstLine > 0 ? QLatin1Char('\n') + rest : rest);
}

void QtMemoText::ShowLine(int line) {
  memo_->setTextCursor(QTextCursor(BlockAt(memo_, std::max(line, 0))));
  memo_->ensureCursorVisible();
}
