#include "commands/chip_extras.h"

#include <chrono>
#include <filesystem>
#include <span>
#include <system_error>

#include "commands/chip_config_commands.h"
#include "commands/memory_transfer.h"
#include "image/whole_file.h"

namespace {

constexpr std::size_t kEepromPages = kEepromSize / kEepromMemory.pageSize;

// A name that no earlier command's kept EEPROM has.
std::string KeptEepromPath() {
  const auto stamp = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(stamp).count();
  std::error_code ignored;
  std::filesystem::path folder = std::filesystem::temp_directory_path(ignored);
  return (folder / ("flash89-eeprom-" + std::to_string(ms) + ".bin")).string();
}

}  // namespace

ExtraSteps::ExtraSteps(const ChipExtras& extras, std::string portName, bool pages)
    : extras_(extras), portName_(std::move(portName)), pages_(pages) {}

std::optional<Fault> ExtraSteps::CheckFiles() {
  if (extras_.eepromFile.empty()) return std::nullopt;
  Checked<CoveredBytes> image = ReadCoveredBytes(extras_.eepromFile, ImageTarget::Eeprom);
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  eeprom_ = std::get<CoveredBytes>(std::move(image));
  return std::nullopt;
}

void ExtraSteps::Plan(CommandPlan& plan, const LineCost& cost, bool verify) const {
  const std::size_t pages =
      extras_.keepEeprom ? kEepromPages : PagesCovered(eeprom_, ImageTarget::Eeprom);
  // Each page written waits out at most its whole write cycle.
  plan.finishMs += static_cast<double>(pages) * (PageReadMs(cost, kEepromMemory) + kWriteCycleMs);
  // An EEPROM page is half a flash page to read.
  std::size_t halfPagesRead = extras_.keepEeprom ? kEepromPages : 0;
  if (verify || extras_.keepEeprom) halfPagesRead += pages;
  plan.pagesRead += (halfPagesRead + 1) / 2;
}

void ExtraSteps::BeforeErase(std::optional<MisoPolarity> polarity, ProgressMeter& meter) {
  if (!extras_.keepEeprom) return;
  RequireReadable(*polarity, portName_);
  const std::vector<std::uint8_t> held = ReadWholeMemory(ImageTarget::Eeprom, *polarity, &meter);
  // Only what the erase would change: an EEPROM of nothing but FF needs no
  // write-back.
  for (std::size_t address = 0; address < held.size(); ++address) {
    if (held[address] != 0xFF)
      eeprom_.emplace_back(static_cast<std::uint16_t>(address), held[address]);
  }
  if (eeprom_.empty()) return;
  // On disk before the erase, so that a command stopped before the
  // write-back never loses it.
  const std::string path = KeptEepromPath();
  const std::string_view bytes(reinterpret_cast<const char*>(held.data()), held.size());
  if (auto fault = WriteWholeFile(path, bytes)) throw *fault;
  keptFile_ = path;
  if (extras_.keptEepromFile != nullptr) *extras_.keptEepromFile = path;
}

void ExtraSteps::AfterFlash(std::optional<MisoPolarity> polarity, bool verify,
                            ProgressMeter& meter) {
  if (!eeprom_.empty()) {
    WriteCovered(ImageTarget::Eeprom, eeprom_, pages_, polarity);
    if (polarity && (verify || extras_.keepEeprom)) {
      VerifyCovered(eeprom_, *polarity, portName_, &meter, ImageTarget::Eeprom);
    }
  }
  if (!keptFile_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(keptFile_, ignored);
    keptFile_.clear();
    if (extras_.keptEepromFile != nullptr) extras_.keptEepromFile->clear();
  }
  if (extras_.lockLevel > 0) RaiseLock(extras_.lockLevel, *polarity, portName_);
}
