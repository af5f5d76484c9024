#include "ui/memo_log.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace {

constexpr qint64 kRepaintIntervalMs = 33;

QTextBlock BlockAt(const QPlainTextEdit* memo, int index) {
  return memo->document()->findBlockByNumber(index);
}

}  // namespace

MemoLog::MemoLog(QPlainTextEdit* memo) : memo_(memo) {}

void MemoLog::ClearLog() {
  if (commandLog_) {
    commandLog_->ClearLog();
    Touched(0);
    return;
  }
  memo_->clear();
}

int MemoLog::LineCount() const {
  if (commandLog_) return commandLog_->LineCount();
  const QTextDocument* document = memo_->document();
  const int blocks = document->blockCount();
  return document->lastBlock().length() <= 1 ? blocks - 1 : blocks;
}

std::string MemoLog::GetLine(int index) const {
  if (commandLog_) return commandLog_->GetLine(index);
  if (index < 0) return {};
  const QTextBlock block = BlockAt(memo_, index);
  if (!block.isValid()) return {};
  return block.text().left(static_cast<int>(kMaxLineLength)).toStdString();
}

void MemoLog::SetLine(int index, const std::string& text) {
  if (commandLog_) {
    commandLog_->SetLine(index, text);
    Touched(index);
    return;
  }
  if (index < 0) return;
  const QTextBlock block = BlockAt(memo_, index);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(QString::fromStdString(text));
}

void MemoLog::AddLine(const std::string& text) {
  if (commandLog_) {
    // Changes the empty last line, or adds one after the last.
    Touched(commandLog_->LineCount());
    commandLog_->AddLine(text);
    return;
  }
  QTextDocument* document = memo_->document();
  QTextCursor cursor(document);
  cursor.movePosition(QTextCursor::End);
  const QString line = QString::fromStdString(text);
  if (document->lastBlock().length() <= 1) {
    cursor.insertText(line);
    cursor.insertBlock();
  } else {
    cursor.insertBlock();
    cursor.insertText(line);
  }
}

void MemoLog::BeginCommand() {
  commandLog_.emplace(
      memo_->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdString());
  firstUnshownLine_ = INT_MAX;
  sinceRepaint_.start();
}

void MemoLog::EndCommand() {
  Flush();
  commandLog_.reset();
}

void MemoLog::Touched(int line) {
  firstUnshownLine_ = std::min(firstUnshownLine_, line);
  lastChangedLine_ = line;
}

void MemoLog::Flush() {
  if (!commandLog_ || firstUnshownLine_ == INT_MAX) return;
  // The lines before the first changed one are the same in both; replace
  // the rest, from the end of the line before it.
  QTextCursor cursor(memo_->document());
  const int first = firstUnshownLine_;
  if (first > 0) {
    cursor.setPosition(BlockAt(memo_, first - 1).position());
    cursor.movePosition(QTextCursor::EndOfBlock);
  }
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  const QString rest = QString::fromStdString(commandLog_->LinesFrom(first, "\n"));
  cursor.insertText(first > 0 ? QLatin1Char('\n') + rest : rest);
  firstUnshownLine_ = INT_MAX;
}

void MemoLog::RepaintIfDue() {
  if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintIntervalMs) return;
  sinceRepaint_.start();
  Flush();
  memo_->setTextCursor(QTextCursor(BlockAt(memo_, std::max(lastChangedLine_, 0))));
  memo_->ensureCursorVisible();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
