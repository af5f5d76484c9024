// The chip's answers inside a command, where the cable brings MISO back to
// CTS: who answers before anything is erased, and whether what the flash
// holds is what the image says. Each throws a ChipFault that
// RunReadingChip hands up as the command's fault.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/fault.h"
#include "commands/port_session.h"
#include "commands/progress_meter.h"
#include "image/hex_image.h"
#include "isp/chip_memories.h"
#include "isp/echo_check.h"
#include "isp/readback.h"

// The bytes an image puts into the flash: address and value, in address
// order, each address once (a later record wins, as it does in the chip).
using CoveredBytes = std::vector<std::pair<std::uint16_t, std::uint8_t>>;
CoveredBytes CoveredBy(const HexImage& image);
CoveredBytes CoveredBy(const std::vector<std::uint8_t>& image);

// Programming enabled, nothing erased: the chip echoed the enable
// instruction, which gives the polarity of the line back, and its signature
// read as an AT89S8253's under the same polarity.
MisoPolarity RequireChip(const std::string& portName,
                         std::array<std::uint8_t, 3>* signature = nullptr);

// The fuses and lock bits as the chip answers them.
struct ChipState {
  std::uint8_t fuses = kAllFuses;        // F1 in bit 0; 0 where programmed (enabled)
  std::uint8_t lockBits = kAllLockBits;  // LB1 in bit 0; 0 where locked
};
ChipState ReadChipState(MisoPolarity polarity);

// The fuses by the names users give them; each is on where programmed.
// external-clock on takes the clock from XTAL1 instead of a crystal.
struct FuseName {
  const char* name;
  std::uint8_t bit;
};
inline constexpr FuseName kFuseNames[] = {
    {"serial-programming", kFuseSerialProgramming},
    {"x2", kFuseX2Clock},
    {"user-row", kFuseUserRowWrites},
    {"external-clock", kFuseCrystalClock},
};

// How far the chip is locked: 0 open, n for LB1 to LBn locked (mode n+1 of
// the chip's lock modes); -1 for bits locked out of that order.
int LockLevel(std::uint8_t lockBits);
// The lock bits of a level: LB1 to LBn at 0.
std::uint8_t LockBitsFor(int level);
inline constexpr int kHighestLockLevel = 3;
// From level 2 on the flash and the EEPROM no longer read back.
inline constexpr int kLockLevelAgainstReading = 2;

// Throws LockedAgainstReading when the lock bits stop reading back.
void RequireReadable(MisoPolarity polarity, const std::string& portName);

// Reads back the pages of the target that hold the bytes, and compares;
// each page read is a step of the meter, where there is one.
void VerifyCovered(const CoveredBytes& covered, MisoPolarity polarity, const std::string& portName,
                   ProgressMeter* meter = nullptr, ImageTarget target = ImageTarget::Flash);
// The pages of the target that hold covered bytes: what VerifyCovered reads.
std::size_t PagesCovered(const CoveredBytes& covered, ImageTarget target = ImageTarget::Flash);

// The memory that a target names.
const ChipMemory& MemoryOf(ImageTarget target);

inline constexpr std::size_t kMismatchesShown = 4;

// A sequence that reads the chip, in the session: a chip that does not
// answer as it should ends it with the lines released, as a lost port does.
template <class Sequence>
std::optional<Fault> RunReadingChip(PortSession& session, const std::string& portName,
                                    Sequence&& sequence) {
  try {
    return session.Program(sequence);
  } catch (const ChipFault& fault) {
    return fault;
  } catch (const EchoLost&) {
    return ChipFault{ChipFaultKind::NoAnswer, portName};
  } catch (const EraseNotDone&) {
    return ChipFault{ChipFaultKind::NotErased, portName};
  } catch (const NoMisoLine&) {
    return ChipFault{ChipFaultKind::NoMisoLine, portName};
  } catch (const ImageFault& fault) {
    return fault;  // a file the command writes on its way
  }
}
