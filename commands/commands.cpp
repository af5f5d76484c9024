#include "commands/commands.h"

#include "commands/download_log.h"
#include "commands/port_frame.h"
#include "image/binary_image.h"
#include "image/hex_image.h"
#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

// The extra wait of every binary byte, beyond its write cycle.
constexpr double kBinaryByteExtraMs = 5;

void WriteHexImage(const HexImage& image, LogLines& log) {
  HexDownloadLog hexLog(log);
  for (const HexRecord& record : image.records) {
    hexLog.Record(record.address);
    auto address = record.address;
    for (const std::uint8_t value : record.data) {
      WriteFlashByte(address++, value);
      hexLog.Byte(value);
    }
  }
}

void WriteBinaryImage(const std::vector<std::uint8_t>& image, LogLines& log) {
  BinaryDownloadLog binaryLog(log);
  std::uint16_t address = 0;
  for (const std::uint8_t value : image) {
    binaryLog.Byte(value);
    WriteFlashByte(address, value);
    WaitMs(kBinaryByteExtraMs);
    binaryLog.Next(++address);
  }
}

// The port first, then the file: a missing port is said before the dialog.
template <class Image, class Read, class Write>
std::optional<Fault> Download(int selectedPort, LogLines& log, const FileNameRequest& chooseFile,
                              Read read, Write write) {
  PortFrame port(selectedPort);
  if (auto fault = port.NotReady()) return fault;
  const std::string name = chooseFile();
  if (name.empty()) return std::nullopt;
  Checked<Image> image = read(name);
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  return port.Program([&] {
    EnterProgramming();
    write(std::get<Image>(image), log);
    FinishProgramming();
  });
}

}  // namespace

std::optional<Fault> EraseCommand(int selectedPort, ProgressListener* /*progress*/) {
  PortFrame port(selectedPort);
  if (auto fault = port.NotReady()) return fault;
  return port.Program(EraseChip);
}

std::optional<Fault> FlashHexCommand(int selectedPort, LogLines& log,
                                     const FileNameRequest& chooseFile,
                                     ProgressListener* /*progress*/) {
  return Download<HexImage>(selectedPort, log, chooseFile, ReadHexImage, WriteHexImage);
}

std::optional<Fault> FlashBinCommand(int selectedPort, LogLines& log,
                                     const FileNameRequest& chooseFile,
                                     ProgressListener* /*progress*/) {
  return Download<std::vector<std::uint8_t>>(selectedPort, log, chooseFile, ReadBinaryImage,
                                             WriteBinaryImage);
}
