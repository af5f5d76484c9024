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
#include "isp/readback.h"

// The bytes an image puts into the flash: address and value, in address
// order, each address once (a later record wins, as it does in the chip).
using CoveredBytes = std::vector<std::pair<std::uint16_t, std::uint8_t>>;
CoveredBytes CoveredBy(const HexImage& image);
CoveredBytes CoveredBy(const std::vector<std::uint8_t>& image);

// Programming enabled, nothing erased, the signature read: the polarity of
// the line back when an AT89S8253 answers.
CtsPolarity RequireChip(const std::string& portName,
                        std::array<std::uint8_t, 3>* signature = nullptr);

// Reads back the pages that hold the bytes, and compares; each page read is
// a page of steps of the meter, where there is one.
void VerifyCovered(const CoveredBytes& covered, CtsPolarity polarity, const std::string& portName,
                   ProgressMeter* meter = nullptr);
// The pages that hold covered bytes: what VerifyCovered reads.
std::size_t PagesCovered(const CoveredBytes& covered);

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
  } catch (const NoDataLine&) {
    return ChipFault{ChipFaultKind::NoDataLine, portName};
  }
}
