#include "ui/memo_log.h"

#include <QCoreApplication>
#include <algorithm>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

constexpr qint64 kRepaintIntervalMs = 33;

QTextBlock BlockAt(const QPlainTextEdit* memo, int index) {
  return memo->document()->findBlockByNumber(index);
}

void ReplaceBlockText(const QTextBlock& block, const QString& text) {
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(text);
}

}  // namespace

MemoLog::MemoLog(QPlainTextEdit* memo) : memo_(memo) {}

void MemoLog::ClearLog() {
  memo_->clear();
  Changed(0);
}

int MemoLog::LineCount() const {
  const QTextDocument* document = memo_->document();
  const int blocks = document->blockCount();
  return document->lastBlock().length() <= 1 ? blocks - 1 : blocks;
}

std::string MemoLog::GetLine(int index) const {
  if (index < 0) return {};
  const QTextBlock block = BlockAt(memo_, index);
  if (!block.isValid()) return {};
  return block.text().left(static_cast<int>(kMaxLineLength)).toStdString();
}

void MemoLog::SetLine(int index, const std::string& text) {
  if (index < 0) return;
  const QTextBlock block = BlockAt(memo_, index);
  if (!block.isValid()) return;
  ReplaceBlockText(block, QString::fromStdString(text));
  Changed(index);
}

void MemoLog::AddLine(const std::string& text) {
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
  Changed(LineCount() - 1);
}

void MemoLog::Changed(int line) { lastChangedLine_ = line; }

void MemoLog::RepaintIfDue() {
  if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintIntervalMs) return;
  sinceRepaint_.start();
  memo_->setTextCursor(QTextCursor(BlockAt(memo_, std::max(lastChangedLine_, 0))));
  memo_->ensureCursorVisible();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
