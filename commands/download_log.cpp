#include "commands/download_log.h"

#include "image/hex_text.h"

namespace {
// Bytes of a record beyond this go on its continuation line.
constexpr int kBytesPerLine = 16;
}  // namespace

HexDownloadLog::HexDownloadLog(LogLines& log) : log_(log) { log_.ClearLog(); }

void HexDownloadLog::Record(std::uint16_t address) {
  log_.AddLine("");
  if (log_.LineCount() > kLogLineLimit) log_.ClearLog();
  line_ = log_.LineCount();
  log_.SetLine(line_, WordToHex(address) + " ");
  position_ = 0;
}

void HexDownloadLog::Byte(std::uint8_t value) {
  if (++position_ == kBytesPerLine + 1) {
    log_.AddLine("     ");
    ++line_;
  }
  log_.SetLine(line_, log_.GetLine(line_) + " " + ByteToHex(value));
}

BinaryDownloadLog::BinaryDownloadLog(LogLines& log) : log_(log) {
  log_.ClearLog();
  StartLine("0000 ");
}

void BinaryDownloadLog::Byte(std::uint8_t value) {
  log_.SetLine(line_, log_.GetLine(line_) + " " + ByteToHex(value));
}

void BinaryDownloadLog::Next(std::uint16_t address) {
  if (address % kBytesPerLine != 0) return;
  if (log_.LineCount() > kLogLineLimit) log_.ClearLog();
  StartLine(WordToHex(address) + " ");
}

void BinaryDownloadLog::StartLine(const std::string& text) {
  log_.AddLine("");
  line_ = log_.LineCount() - 1;
  log_.SetLine(line_, text);
}
