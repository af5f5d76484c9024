#include "commands/commands.h"

#include "commands/chip_check.h"
#include "commands/command_plan.h"
#include "commands/download_log.h"
#include "commands/messages.h"
#include "commands/port_session.h"
#include "commands/progress_meter.h"
#include "image/binary_image.h"
#include "image/hex_image.h"
#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

std::size_t DataBytes(const HexImage& image) {
  std::size_t bytes = 0;
  for (const HexRecord& record : image.records) bytes += record.data.size();
  return bytes;
}

std::size_t DataBytes(const std::vector<std::uint8_t>& image) { return image.size(); }

CommandPlan PlanFor(const HexImage& image, const LineCost& cost) {
  return HexDownloadPlan(cost, DataBytes(image));
}

CommandPlan PlanFor(const std::vector<std::uint8_t>& image, const LineCost& cost) {
  return BinaryDownloadPlan(cost, DataBytes(image));
}

void WriteHexImage(const HexImage& image, LogLines& log, ProgressMeter& meter) {
  HexDownloadLog hexLog(log);
  for (const HexRecord& record : image.records) {
    hexLog.Record(record.address);
    auto address = record.address;
    for (const std::uint8_t value : record.data) {
      WriteFlashByte(address++, value);
      hexLog.Byte(value);
      meter.ByteWritten();
    }
  }
}

void WriteBinaryImage(const std::vector<std::uint8_t>& image, LogLines& log, ProgressMeter& meter) {
  BinaryDownloadLog binaryLog(log);
  std::uint16_t address = 0;
  for (const std::uint8_t value : image) {
    binaryLog.Byte(value);
    WriteBinaryByte(address, value);
    binaryLog.Next(++address);
    meter.ByteWritten();
  }
}

std::string NameOfPort(int selectedPort) { return PortName(selectedPort == 1 ? 1 : 2); }
const std::string& NameOfPort(const std::string& portName) { return portName; }

// The port first, then the file: a missing or unfit port is said before
// the dialog.
template <class Image, class Port, class Read, class Write>
std::optional<Fault> Download(const Port& selectedPort, LogLines& log,
                              const FileNameRequest& chooseFile, ProgressListener* progress,
                              Read read, Write write, bool verify) {
  PortSession port(selectedPort);
  if (auto fault = port.Unusable()) return fault;
  const std::string name = chooseFile();
  if (name.empty()) return std::nullopt;
  Checked<Image> image = read(name);
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  const Image& checked = std::get<Image>(image);
  if (!verify) {
    return port.Program([&] {
      // Planned inside the session, so that a cancel before the start stops
      // the command before its dry run too.
      ProgressMeter meter(PlanFor(checked, port.Cost()), progress);
      EnterProgramming();
      write(checked, log, meter);
      FinishProgramming();
    });
  }
  // Another chip, or none, is never erased; what was written is read back.
  const std::string portName = NameOfPort(selectedPort);
  const CoveredBytes covered = CoveredBy(checked);
  return RunReadingChip(port, portName, [&] {
    CommandPlan plan = PlanFor(checked, port.Cost());
    plan.startMs += ChipCheckMs(port.Cost());
    plan.finishMs += PageReadMs(port.Cost()) * static_cast<double>(covered.size()) / kPageSize;
    ProgressMeter meter(plan, progress);
    const CtsPolarity polarity = RequireChip(portName);
    EnterProgramming();
    write(checked, log, meter);
    VerifyCovered(covered, polarity, portName);
    FinishProgramming();
  });
}

template <class Port>
std::optional<Fault> Erase(const Port& selectedPort, ProgressListener* progress) {
  PortSession port(selectedPort);
  if (auto fault = port.Unusable()) return fault;
  return port.Program([&] {
    ProgressMeter meter(ErasePlan(port.Cost()), progress);
    EraseChip();
  });
}

}  // namespace

std::optional<Fault> EraseCommand(int selectedPort, ProgressListener* progress) {
  return Erase(selectedPort, progress);
}

std::optional<Fault> EraseCommandOnPort(const std::string& portName, ProgressListener* progress) {
  return Erase(portName, progress);
}

std::optional<Fault> FlashHexCommand(int selectedPort, LogLines& log,
                                     const FileNameRequest& chooseFile, ProgressListener* progress,
                                     bool verify) {
  return Download<HexImage>(selectedPort, log, chooseFile, progress, ReadHexImage, WriteHexImage,
                            verify);
}

std::optional<Fault> FlashBinCommand(int selectedPort, LogLines& log,
                                     const FileNameRequest& chooseFile, ProgressListener* progress,
                                     bool verify) {
  return Download<std::vector<std::uint8_t>>(selectedPort, log, chooseFile, progress,
                                             ReadBinaryImage, WriteBinaryImage, verify);
}

std::optional<Fault> FlashHexCommandOnPort(const std::string& portName, LogLines& log,
                                           const FileNameRequest& chooseFile,
                                           ProgressListener* progress, bool verify) {
  return Download<HexImage>(portName, log, chooseFile, progress, ReadHexImage, WriteHexImage,
                            verify);
}

std::optional<Fault> FlashBinCommandOnPort(const std::string& portName, LogLines& log,
                                           const FileNameRequest& chooseFile,
                                           ProgressListener* progress, bool verify) {
  return Download<std::vector<std::uint8_t>>(portName, log, chooseFile, progress, ReadBinaryImage,
                                             WriteBinaryImage, verify);
}
