// What a download does to the chip besides its flash, between one erase and
// the release of the lines: the EEPROM written from an image or kept across
// the erase, and the lock raised at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "commands/chip_check.h"
#include "commands/command_plan.h"
#include "commands/fault.h"
#include "commands/progress_meter.h"

struct ChipExtras {
  std::string eepromFile;  // an EEPROM image written after the flash; empty: none
  // The EEPROM read before the erase, written back after the flash and
  // compared. While the command has not written it back, it is kept in a
  // file whose name goes to keptEepromFile.
  bool keepEeprom = false;
  int lockLevel = 0;  // raised after the image is written (and verified); 0: none
  std::string* keptEepromFile = nullptr;

  // The chip must answer: it is read before the erase or after the writes.
  bool NeedChip() const { return keepEeprom || lockLevel > 0; }
};

class ExtraSteps {
 public:
  ExtraSteps(const ChipExtras& extras, std::string portName, bool pages);
  ExtraSteps(const ExtraSteps&) = delete;
  ExtraSteps& operator=(const ExtraSteps&) = delete;

  // Before the port opens: the EEPROM image read and checked whole.
  std::optional<Fault> CheckFiles();
  // What the steps add to a download's plan.
  void Plan(CommandPlan& plan, const LineCost& cost, bool verify) const;

  // With the chip checked, before the erase: the EEPROM read and kept.
  void BeforeErase(std::optional<MisoPolarity> polarity, ProgressMeter& meter);
  // After the flash: the EEPROM written, then compared where the chip
  // answers and it was asked for (verify) or kept; then the lock.
  void AfterFlash(std::optional<MisoPolarity> polarity, bool verify, ProgressMeter& meter);

 private:
  const ChipExtras& extras_;
  std::string portName_;
  bool pages_;
  CoveredBytes eeprom_;  // what goes into the EEPROM after the flash
  std::string keptFile_;
};
