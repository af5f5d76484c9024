// Tests that run the programming code against the in-process fake device in
// virtual time, and read the outcome through a model of the chip.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "isp/isp.h"
#include "line_states.h"
#include "serial/rezero.h"
#include "sim/chip_model.h"
#include "sim/chip_options.h"
#include "sim/fake_serial.h"
#include "sim/virtual_counter.h"

// Asks for a cancel in the first wait of a millisecond or more in which the
// chip on port shows what reached looks for: the wait itself still runs to
// its end.
class CancelWhenChip : public WaitIdleWork {
 public:
  CancelWhenChip(std::string port, std::function<bool(const ChipModel&)> reached)
      : port_(std::move(port)), reached_(std::move(reached)) {}
  void DuringWait() override {
    if (asked_) return;
    ChipModel chip;
    chip.Feed(fake_serial::Events(port_));
    if (reached_(chip)) {
      asked_ = true;
      RequestCancel();
    }
  }

 private:
  std::string port_;
  std::function<bool(const ChipModel&)> reached_;
  bool asked_ = false;
};

// Once the chip has carried out its erase and then writes more writes.
inline std::function<bool(const ChipModel&)> AfterWrites(int writes) {
  return [writes](const ChipModel& chip) { return chip.ProgrammingCount() >= 1 + writes; };
}

class FakeChipTest : public testing::Test {
 protected:
  void SetUp() override {
    fake_serial::Reset();
    virtual_counter::Reset();
    ResetSerialModule();
    WithdrawCancel();
    StartClock();
  }
  void TearDown() override { WithdrawCancel(); }

  // options: the chip the port was given (LineBehaviour::chip).
  static ChipModel ChipOn(std::string_view port, std::string_view options = {}) {
    ChipModel chip;
    ApplyChipOptions(options, chip);
    chip.Feed(fake_serial::Events(port));
    return chip;
  }

  // Whether reset (DTR) was ever switched on: before it is, the chip takes
  // nothing on its clock and data lines for a bit.
  static bool ChipWasReset(std::string_view port) {
    for (const LineEvent& event : fake_serial::Events(port)) {
      if (event.line == PortLine::Dtr && event.on) return true;
    }
    return false;
  }

  static std::vector<std::uint8_t> DecodedBytes(const ChipModel& chip) {
    std::vector<std::uint8_t> bytes;
    for (const ChipInstruction& instruction : chip.Instructions()) {
      bytes.insert(bytes.end(), instruction.bytes.begin(), instruction.bytes.end());
    }
    return bytes;
  }

  // The flash as an erased chip holding image from address 0 would have it.
  static std::array<std::uint8_t, ChipModel::kFlashSize> ErasedFlashWith(
      const std::vector<std::uint8_t>& image, std::size_t at = 0) {
    std::array<std::uint8_t, ChipModel::kFlashSize> flash{};
    flash.fill(0xFF);
    std::copy(image.begin(), image.end(), flash.begin() + static_cast<std::ptrdiff_t>(at));
    return flash;
  }
};
