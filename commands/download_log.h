// How the downloads show their progress in the log: a line per HEX record,
// sixteen binary bytes to a line, each line starting with its address.
#pragma once

#include <cstdint>

#include "commands/log_lines.h"

// The log is cleared when it holds more than this many lines.
inline constexpr int kLogLineLimit = 260;

// An empty first line, then the address and bytes of each record; bytes 17
// and on go on one continuation line; the end record's address comes last.
class HexDownloadLog {
 public:
  explicit HexDownloadLog(LogLines& log);

  void Record(std::uint16_t address);
  // After the byte has been written.
  void Byte(std::uint8_t value);

 private:
  LogLines& log_;
  int line_ = 0;
  int position_ = 0;
};

// "0000 " and the bytes, sixteen to a line.
class BinaryDownloadLog {
 public:
  explicit BinaryDownloadLog(LogLines& log);

  // Before the byte is written.
  void Byte(std::uint8_t value);
  // After it: the address of the next byte, which may start a new line.
  void Next(std::uint16_t address);

 private:
  void StartLine(const std::string& text);

  LogLines& log_;
  int line_ = 0;
};
