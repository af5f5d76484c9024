#include "commands/readback_commands.h"

#include "commands/chip_check.h"
#include "commands/command_plan.h"
#include "commands/port_session.h"
#include "commands/progress_meter.h"
#include "image/binary_image.h"
#include "image/flash_file.h"
#include "image/hex_image.h"
#include "image/image_format.h"
#include "isp/isp.h"

namespace {

template <class Image, class Read>
std::optional<Fault> CoveredIn(const std::string& file, Read read, CoveredBytes& covered) {
  Checked<Image> image = read(file);
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  covered = CoveredBy(std::get<Image>(image));
  return std::nullopt;
}

}  // namespace

std::optional<Fault> DetectCommand(const std::string& portName,
                                   std::array<std::uint8_t, 3>& signature) {
  PortSession session(portName);
  if (auto fault = session.Unusable()) return fault;
  return RunReadingChip(session, portName, [&] {
    RequireChip(portName, &signature);
    FinishProgramming();
  });
}

std::optional<Fault> VerifyCommand(const std::string& portName, const std::string& file,
                                   ProgressListener* progress) {
  CoveredBytes covered;
  const std::optional<Fault> bad =
      ImageFormatOf(file) == ImageFormat::IntelHex
          ? CoveredIn<HexImage>(file, ReadHexImage, covered)
          : CoveredIn<std::vector<std::uint8_t>>(file, ReadBinaryImage, covered);
  if (bad) return bad;
  PortSession session(portName);
  if (auto fault = session.Unusable()) return fault;
  return RunReadingChip(session, portName, [&] {
    ProgressMeter meter(ReadBackPlan(session.Cost(), PagesCovered(covered)), progress);
    VerifyCovered(covered, RequireChip(portName), portName, &meter);
    FinishProgramming();
  });
}

std::optional<Fault> ReadCommand(const std::string& portName, const std::string& file,
                                 ProgressListener* progress) {
  const Checked<ImageFormat> format = ImageFormatForNewFile(file);
  if (const auto* fault = std::get_if<ImageFault>(&format)) return *fault;
  std::array<std::uint8_t, kFlashSize> flash{};
  PortSession session(portName);
  if (auto fault = session.Unusable()) return fault;
  const std::optional<Fault> fault = RunReadingChip(session, portName, [&] {
    ProgressMeter meter(ReadBackPlan(session.Cost(), kFlashSize / kPageSize), progress);
    const CtsPolarity polarity = RequireChip(portName);
    for (std::size_t start = 0; start < kFlashSize; start += kPageSize) {
      ReadFlashPage(static_cast<std::uint16_t>(start), polarity,
                    std::span<std::uint8_t, kPageSize>(flash.data() + start, kPageSize));
      meter.PageRead(kPageSize);
    }
    FinishProgramming();
  });
  if (fault) return fault;
  if (auto written = WriteFlashFile(file, flash)) return *written;
  return std::nullopt;
}
