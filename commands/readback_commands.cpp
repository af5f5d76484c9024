#include "commands/readback_commands.h"

#include <vector>

#include "commands/command_plan.h"
#include "commands/memory_transfer.h"
#include "commands/port_session.h"
#include "commands/progress_meter.h"
#include "image/flash_file.h"
#include "image/image_format.h"
#include "isp/isp.h"

namespace {

// The lock bits stop the flash and the EEPROM from reading back, not the
// user row.
void RequireReadable(ImageTarget target, MisoPolarity polarity, const std::string& portName) {
  if (target != ImageTarget::UserRow) RequireReadable(polarity, portName);
}

}  // namespace

std::optional<Fault> DetectCommand(const CommandRequest& request,
                                   std::array<std::uint8_t, 3>& signature, ChipState* state) {
  const std::string& portName = request.port;
  PortSession session(portName);
  if (auto fault = session.Unusable()) return fault;
  return RunReadingChip(session, portName, [&] {
    const MisoPolarity polarity = RequireChip(portName, &signature);
    if (state != nullptr) *state = ReadChipState(polarity);
    FinishProgramming();
  });
}

std::optional<Fault> VerifyCommand(const CommandRequest& request, ProgressListener* progress) {
  const std::string& portName = request.port;
  const ImageTarget target = request.target;
  Checked<CoveredBytes> image = ReadCoveredBytes(FileOf(request), target);
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  const CoveredBytes& covered = std::get<CoveredBytes>(image);
  PortSession session(portName);
  if (auto fault = session.Unusable()) return fault;
  return RunReadingChip(session, portName, [&] {
    const MisoPolarity polarity = RequireChip(portName);
    ProgressMeter meter(
        ReadBackPlan(session.Cost(), PagesCovered(covered, target), MemoryOf(target)), progress);
    RequireReadable(target, polarity, portName);
    VerifyCovered(covered, polarity, portName, &meter, target);
    FinishProgramming();
  });
}

std::optional<Fault> ReadCommand(const CommandRequest& request, ProgressListener* progress) {
  const std::string& portName = request.port;
  const ImageTarget target = request.target;
  const std::string file = FileOf(request);
  const Checked<ImageFormat> format = ImageFormatForNewFile(file);
  if (const auto* fault = std::get_if<ImageFault>(&format)) return *fault;
  const ChipMemory& memory = MemoryOf(target);
  std::vector<std::uint8_t> contents;
  PortSession session(portName);
  if (auto fault = session.Unusable()) return fault;
  const std::optional<Fault> fault = RunReadingChip(session, portName, [&] {
    const MisoPolarity polarity = RequireChip(portName);
    CommandPlan plan = ReadBackPlan(session.Cost(), memory.size / memory.pageSize, memory);
    if (ReadsTwice()) plan.perPageReadMs *= 2;
    ProgressMeter meter(plan, progress);
    RequireReadable(target, polarity, portName);
    contents = ReadWholeMemory(target, polarity, &meter);
    FinishProgramming();
  });
  if (fault) return fault;
  if (auto written = WriteFlashFile(file, contents)) return *written;
  return std::nullopt;
}
