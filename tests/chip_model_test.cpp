// The chip model catches what a real chip would not accept.
#include "sim/chip_model.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Builds a waveform switch by switch on a clock of its own.
class Waveform {
 public:
  Waveform& Switch(PortLine line, bool on) {
    events_.push_back({now_, line, on});
    return *this;
  }
  Waveform& Wait(std::int64_t ns) {
    now_ += ns;
    return *this;
  }
  // Reset held with the clock at rest, then settled for the given time.
  Waveform& Reset(std::int64_t settleNs = 20'000'000) {
    return Switch(PortLine::Rts, true).Switch(PortLine::Dtr, true).Wait(settleNs);
  }
  Waveform& Byte(std::uint8_t value, std::int64_t phaseNs = 10'000) {
    for (int bit = 7; bit >= 0; --bit) {
      Switch(PortLine::Txd, ((value >> bit) & 1) == 0).Wait(phaseNs);
      Switch(PortLine::Rts, false).Wait(phaseNs);
      Switch(PortLine::Rts, true).Wait(phaseNs);
    }
    return Wait(phaseNs).Switch(PortLine::Txd, true);
  }
  Waveform& Instruction(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return Byte(a).Byte(b).Byte(c).Byte(d);
  }
  ChipModel Chip() const {
    ChipModel chip;
    chip.Feed(events_);
    return chip;
  }

 private:
  std::vector<LineEvent> events_;
  std::int64_t now_ = 0;
};

}  // namespace

TEST(ChipModel, AcceptsAWellTimedWriteAndProgramsOnlyZeros) {
  const ChipModel chip = Waveform()
                             .Reset()
                             .Instruction(0xAC, 0x53, 0, 0)
                             .Wait(1'000'000)
                             .Instruction(0x40, 0x00, 0x10, 0x0F)
                             .Wait(5'000'000)
                             .Chip();
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  // Without an erase the factory contents show through.
  EXPECT_EQ(chip.Flash()[0x10], ChipModel::FactoryPattern(0x10) & 0x0F);
  EXPECT_EQ(chip.EraseCount(), 0);
}

TEST(ChipModel, ReportsEachKindOfTimingFault) {
  const struct {
    const char* fault;
    Waveform waveform;
  } cases[] = {
      {"after reset", Waveform().Reset(2'000'000).Instruction(0xAC, 0x53, 0, 0)},
      {"before the bit", Waveform().Reset().Byte(0x55, 4'000)},
      {"before the previous", Waveform()
                                  .Reset()
                                  .Instruction(0xAC, 0x53, 0, 0)
                                  .Instruction(0xAC, 0x80, 0, 0)
                                  .Wait(1'000'000)
                                  .Instruction(0x40, 0, 0, 0)},
      {"before Programming Enable", Waveform().Reset().Instruction(0x40, 0, 0, 0)},
      {"middle of an instruction", Waveform().Reset().Byte(0xAC).Switch(PortLine::Dtr, false)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    const ChipModel chip = c.waveform.Chip();
    ASSERT_FALSE(chip.Violations().empty());
    EXPECT_NE(chip.Report().find(c.fault), std::string::npos) << chip.Report();
  }
}

TEST(ChipModel, DataChangedTooSoonAfterTheClockIsReported) {
  Waveform waveform;
  waveform.Reset().Switch(PortLine::Txd, false).Wait(20'000);
  waveform.Switch(PortLine::Rts, false).Wait(10'000).Switch(PortLine::Rts, true).Wait(2'000);
  waveform.Switch(PortLine::Txd, true);
  const ChipModel chip = waveform.Chip();
  ASSERT_EQ(chip.Violations().size(), 1u);
  EXPECT_NE(chip.Violations()[0].find("after the bit was taken"), std::string::npos);
}
