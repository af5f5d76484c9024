// The chip model catches what a real chip would not accept, and answers
// what a real one would.
#include "sim/chip_model.h"

#include <gtest/gtest.h>

#include <vector>

#include "fake_chip_fixture.h"
#include "isp_read.h"

namespace {

// Builds a waveform switch by switch on a clock of its own, fed to a chip
// as it goes.
class Waveform {
 public:
  Waveform& Switch(PortLine line, bool on) {
    chip_.Feed(LineEvent{now_, line, on});
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
  // With answer given, MISO is sampled in the middle of each clock pulse.
  Waveform& Byte(std::uint8_t value, std::int64_t phaseNs = 10'000,
                 std::uint8_t* answer = nullptr) {
    for (int bit = 7; bit >= 0; --bit) {
      Switch(PortLine::Txd, ((value >> bit) & 1) == 0).Wait(phaseNs);
      Switch(PortLine::Rts, false).Wait(phaseNs / 2);
      if (answer != nullptr) *answer = static_cast<std::uint8_t>(*answer << 1 | chip_.Miso());
      Wait(phaseNs - phaseNs / 2).Switch(PortLine::Rts, true).Wait(phaseNs);
    }
    return Wait(phaseNs).Switch(PortLine::Txd, true);
  }
  Waveform& Read(std::uint8_t& answer) { return Byte(0x00, 10'000, &answer); }
  Waveform& Instruction(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return Byte(a).Byte(b).Byte(c).Byte(d);
  }
  Waveform& Page(std::uint8_t opcode, int address, const std::vector<std::uint8_t>& data) {
    Byte(opcode).Byte(static_cast<std::uint8_t>(address >> 8)).Byte(address & 0xFF);
    for (std::uint8_t value : data) Byte(value);
    return *this;
  }
  Waveform& Enabled() { return Reset().Instruction(0xAC, 0x53, 0, 0).Wait(1'000'000); }
  ChipModel Chip() const { return chip_; }

 private:
  ChipModel chip_;
  std::int64_t now_ = 0;
};

std::vector<std::uint8_t> PageData() {
  std::vector<std::uint8_t> data(ChipModel::kPageSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 3);
  data[5] = 0xFF;
  return data;
}

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
      {"before the previous", Waveform()
                                  .Enabled()
                                  .Page(0x50, 0x0040, PageData())
                                  .Wait(1'000'000)
                                  .Instruction(0x28, 0, 0x30, 0)},
      {"reset during the write cycle",
       Waveform().Enabled().Page(0x50, 0x0040, PageData()).Switch(PortLine::Dtr, false)},
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

TEST(ChipModel, PageWriteTakesOneCycleForAllSixtyFourBytesAndAPageReadAnswersThem) {
  const std::vector<std::uint8_t> data = PageData();
  std::uint8_t polled = 0;
  std::vector<std::uint8_t> page(ChipModel::kPageSize);
  Waveform waveform;
  // The low six address bits are ignored: this is the page at 0x0140.
  waveform.Enabled().Page(0x50, 0x017F, data);
  // Read during the cycle, a cell of the page polls it: its top bit inverted.
  waveform.Byte(0x20).Byte(0x01).Byte(0x7F).Read(polled);
  waveform.Wait(5'000'000).Byte(0x30).Byte(0x01).Byte(0x40);
  for (std::uint8_t& byte : page) waveform.Read(byte);
  const ChipModel chip = waveform.Chip();
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_EQ(polled, data[63] ^ 0x80);
  for (std::size_t i = 0; i < data.size(); ++i) {
    // Not erased: programming only clears bits, and 0xFF clears none.
    EXPECT_EQ(chip.Flash()[0x140 + i], ChipModel::FactoryPattern(0x140 + i) & data[i]) << i;
    EXPECT_EQ(page[i], chip.Flash()[0x140 + i]) << i;
  }
  EXPECT_TRUE(chip.Miso()) << "the output is idle again after the page";
  ASSERT_EQ(chip.Instructions().size(), 4u);
  EXPECT_EQ(chip.Instructions()[1].bytes, (std::array<std::uint8_t, 4>{0x50, 0x01, 0x7F, data[0]}));
  EXPECT_EQ(chip.Instructions()[1].more, std::vector<std::uint8_t>(data.begin() + 1, data.end()));
}

TEST(ChipModel, DuringAWriteCycleOnlyTheLastByteLoadedAnswersAPoll) {
  const std::vector<std::uint8_t> data = PageData();
  const struct {
    const char* read;
    bool page;
    int address;
    bool violation;
  } cases[] = {{"the byte written", false, 0x0123, false},
               {"the byte beside it", false, 0x0124, true},
               {"the page's byte 63", true, 0x017F, false},
               {"an earlier byte of the page", true, 0x015D, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.read);
    Waveform waveform;
    waveform.Enabled();
    if (c.page) {
      waveform.Page(0x50, 0x0140, data);
    } else {
      waveform.Instruction(0x40, 0x01, 0x23, 0x5A);
    }
    std::uint8_t polled = 0;
    waveform.Byte(0x20).Byte(static_cast<std::uint8_t>(c.address >> 8));
    waveform.Byte(c.address & 0xFF).Read(polled);
    const ChipModel chip = waveform.Chip();
    EXPECT_EQ(!chip.Violations().empty(), c.violation) << chip.Report();
    if (!c.violation) {
      EXPECT_EQ(polled, (c.page ? data[63] : 0x5A) ^ 0x80);
    }
  }
}

// The chip behind the in-process fake device's cable, read through CTS.
class ChipBehindCable : public FakeChipTest {
 protected:
  void Plug(fake_serial::Cable cable, int weakCell = -1) {
    fake_serial::Reset();
    fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
    fake_serial::SetLineBehaviour("COM2", {.cable = cable, .weakCell = weakCell});
    ASSERT_TRUE(OpenPort("COM2:9600,N,8,1"));
    EnterProgramming();
  }
  void TearDown() override {
    ClosePort();
    FakeChipTest::TearDown();
  }
};

TEST_F(ChipBehindCable, SignatureReadsRightOnlyThroughAPlainCable) {
  using fake_serial::Cable;
  // CTS between instructions shows the idle output, or RTS looped back.
  const struct {
    Cable cable;
    std::vector<std::uint8_t> signature;
    bool ctsAtRest;
  } cases[] = {{Cable::MisoOnCts, {0x1E, 0x73, 0x01}, true},
               {Cable::MisoOnCtsInverted, {0xE1, 0x8C, 0xFE}, false},
               {Cable::NoLineBack, {0x00, 0x00, 0x00}, false},
               {Cable::RtsLoopedBack, {0x00, 0x00, 0x00}, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.cable));
    Plug(c.cable);
    std::vector<std::uint8_t> signature;
    for (std::uint16_t at = 0x30; at <= 0x32; ++at) signature.push_back(ReadAnswer(0x28, at));
    EXPECT_EQ(signature, c.signature);
    EXPECT_EQ(fake_serial::Counts("COM2").reads, 24);
    bool cts = !c.ctsAtRest;
    EXPECT_TRUE(device_seam::ReadCts(PortHandle, cts));
    EXPECT_EQ(cts, c.ctsAtRest);
    EXPECT_TRUE(ChipOn("COM2").Violations().empty()) << ChipOn("COM2").Report();
    ClosePort();
  }
}

TEST_F(ChipBehindCable, WeakCellReadsBackOtherThanWritten) {
  Plug(fake_serial::Cable::MisoOnCtsInverted, 0x0123);
  WriteFlashByte(0x0123, 0x5A);
  WriteFlashByte(0x0124, 0x5A);
  EXPECT_EQ(ReadAnswer(0x20, 0x0123, true), 0x5B);
  EXPECT_EQ(ReadAnswer(0x20, 0x0124, true), 0x5A);
}
