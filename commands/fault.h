// Why a command ended before its work was done, as facts. The words the
// user reads are made from it in one place (messages.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "image/image_fault.h"

enum class PortFaultKind {
  NotReady,   // the port did not open: nothing was switched
  LineLost,   // a line switch failed: the lines were released
  Cancelled,  // stopped on request before an instruction: the lines were released
  // The port cannot hold TXD in break, found before the chip was reset:
  BreakFaked,    // the driver sends a character instead, and TXD soon idles
  BreakTooSlow,  // a break switch takes far longer than a DTR or RTS switch
  BreakRefused,  // the driver refuses the break
  // A polled page did not read back as written in time: the lines were
  // released, the chip may be partly written.
  PageNotWritten,
};

struct PortFault {
  PortFaultKind kind;
  std::string portName;  // as it was given: "COM2", "COM12", "/dev/ttyUSB0"
  // For a refused break: the port's driver where the platform names it
  // ("ch341"), and what a switch took when the port was checked.
  std::string driver = {};
  double breakSwitchMs = 0;
  double modemSwitchMs = 0;
  // For a page not written: the cell that was polled.
  std::uint16_t address = 0;

  friend bool operator==(const PortFault&, const PortFault&) = default;
};

// What the chip answered, where the cable brings its data output back.
enum class ChipFaultKind {
  NoAnswer,    // no echo or no signature: no line back, no chip, no supply
  OtherChip,   // a chip of the same maker that is not an AT89S8253
  Mismatch,    // bytes read back differ from the image (in target)
  NoMisoLine,  // the port cannot read its CTS line at all
  // Refused before anything was written:
  LockedAgainstReading,   // lock bits LB1 and LB2 stop the flash and EEPROM from reading back
  NeedsErase,             // address in target needs a 1 bit where the chip holds a 0
  UserRowWritesOff,       // fuse F3 forbids writing the user row
  FuseOrderDoubtful,      // F1 reads as off although the chip answers: fuses unwritten
  SerialProgrammingKept,  // turning off serial programming was not confirmed
  LockCannotOpen,         // lockLevel asked is below the chip's: only an erase opens it
  // Written, but read back otherwise: wrote and read in first[0].
  FusesNotAsWritten,
  LockNotAsWritten,
  NotErased,  // the flash did not read blank within the erase's limit
};

struct ByteMismatch {
  std::uint16_t address;
  std::uint8_t read;
  std::uint8_t expected;

  friend bool operator==(const ByteMismatch&, const ByteMismatch&) = default;
};

struct ChipFault {
  ChipFaultKind kind;
  std::string portName;
  std::array<std::uint8_t, 3> signature = {};  // as read, for OtherChip
  std::size_t differing = 0;                   // for Mismatch: how many bytes
  std::vector<ByteMismatch> first = {};        // and the first few of them
  ImageTarget target = ImageTarget::Flash;     // for Mismatch and NeedsErase
  std::uint16_t address = 0;                   // for NeedsErase
  int lockLevel = 0;                           // for LockCannotOpen: the chip's

  friend bool operator==(const ChipFault&, const ChipFault&) = default;
};

using Fault = std::variant<PortFault, ImageFault, ChipFault>;
