#include "image/downloads.h"

#include <cstdint>

#include "image/hex_image.h"
#include "image/hex_text.h"
#include "image/image_error.h"
#include "image/image_file.h"
#include "isp/command_port.h"
#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

// The log is cleared when it holds more than this many lines.
constexpr int kLogLineLimit = 260;

// The extra wait of every binary byte, beyond its write cycle.
constexpr double kBinaryByteExtraMs = 5;

void WriteHexImage(const HexImage& image, LogLines& log) {
  log.ClearLog();
  for (const HexRecord& record : image.records) {
    log.AddLine("");
    if (log.LineCount() > kLogLineLimit) log.ClearLog();
    int line = log.LineCount();
    auto address = record.address;
    log.SetLine(line, WordToHex(address) + " ");
    int position = 0;
    for (const std::uint8_t value : record.data) {
      WriteFlashByte(address, value);
      if (++position == 17) {
        log.AddLine("     ");
        ++line;
      }
      log.SetLine(line, log.GetLine(line) + " " + ByteToHex(value));
      ++address;
    }
  }
}

std::string BinaryImage(const std::string& path) {
  std::string image = ReadImageFile(path);
  if (image.size() > kFlashSize) {
    throw ImageContentError("Datei größer als der Flash-Speicher (" + std::to_string(kFlashSize) +
                            " Bytes)");
  }
  return image;
}

void WriteBinaryImage(const std::string& image, LogLines& log) {
  log.ClearLog();
  log.AddLine("");
  int line = log.LineCount() - 1;
  log.SetLine(line, "0000 ");
  std::uint16_t address = 0;
  for (const char c : image) {
    const auto value = static_cast<std::uint8_t>(c);
    log.SetLine(line, log.GetLine(line) + " " + ByteToHex(value));
    WriteFlashByte(address, value);
    WaitMs(kBinaryByteExtraMs);
    ++address;
    if (address % 16 == 0) {
      if (log.LineCount() > kLogLineLimit) log.ClearLog();
      log.AddLine("");
      line = log.LineCount() - 1;
      log.SetLine(line, WordToHex(address) + " ");
    }
  }
}

}  // namespace

void FlashHexCommand(int selectedPort, LogLines& log, const FileNameRequest& chooseFile) {
  CommandPort port(selectedPort);
  const std::string name = chooseFile();
  if (name.empty()) return;
  const HexImage image = ParseHexImage(ReadImageFile(name));
  port.Program([&] {
    EnterProgramming();
    WriteHexImage(image, log);
    FinishProgramming();
  });
}

void FlashBinCommand(int selectedPort, LogLines& log, const FileNameRequest& chooseFile) {
  CommandPort port(selectedPort);
  const std::string name = chooseFile();
  if (name.empty()) return;
  const std::string image = BinaryImage(name);
  port.Program([&] {
    EnterProgramming();
    WriteBinaryImage(image, log);
    FinishProgramming();
  });
}
