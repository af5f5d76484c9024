// The chip model catches what a real chip would not accept, and answers
// what a real one would.
#include "sim/chip_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fake_chip_fixture.h"
#include "isp_read.h"
#include "sim/chip_options.h"
#include "sim/level_shifter.h"
#include "temp_files.h"

namespace {

// Builds a waveform switch by switch on a clock of its own, fed to a chip
// as it goes, through a cable whose level shifter takes settleNs.
class Waveform {
 public:
  explicit Waveform(const ChipModel& chip = ChipModel(), std::int64_t settleNs = 0)
      : chip_(chip), shifter_(settleNs) {}
  Waveform& Switch(PortLine line, bool on) {
    shifter_.Feed(chip_, LineEvent{now_, line, on});
    return *this;
  }
  bool Miso() { return shifter_.Miso(chip_, now_); }
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
    return Bits(value, 8, phaseNs, answer).Wait(phaseNs).Switch(PortLine::Txd, true);
  }
  // The lowest count bits of value, the highest first.
  Waveform& Bits(std::uint8_t value, int count, std::int64_t phaseNs,
                 std::uint8_t* answer = nullptr) {
    for (int bit = count - 1; bit >= 0; --bit) {
      Switch(PortLine::Txd, ((value >> bit) & 1) == 0).Wait(phaseNs);
      Switch(PortLine::Rts, false).Wait(phaseNs / 2);
      if (answer != nullptr) *answer = static_cast<std::uint8_t>(*answer << 1 | Miso());
      Wait(phaseNs - phaseNs / 2).Switch(PortLine::Rts, true).Wait(phaseNs);
    }
    return *this;
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
  // A four-byte instruction, with what MISO shifted out during each byte.
  std::array<std::uint8_t, 4> Exchange(std::array<std::uint8_t, 4> sent,
                                       std::int64_t phaseNs = 10'000) {
    std::array<std::uint8_t, 4> answers{};
    for (std::size_t i = 0; i < sent.size(); ++i) Byte(sent[i], phaseNs, &answers[i]);
    return answers;
  }
  Waveform& Enabled() { return Reset().Instruction(0xAC, 0x53, 0, 0).Wait(1'000'000); }
  ChipModel Chip() const { return chip_; }

 private:
  ChipModel chip_;
  LevelShifter shifter_;
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
      {"before the previous", Waveform()
                                  .Reset()
                                  .Instruction(0xAC, 0x53, 0, 0)
                                  .Instruction(0xAC, 0x80, 0, 0)
                                  .Wait(1'000'000)
                                  .Instruction(0x40, 0, 0, 0)},
      {"before Programming Enable", Waveform().Reset().Instruction(0x40, 0, 0, 0)},
      {"middle of an instruction",
       Waveform().Reset().Byte(0xAC).Bits(0x53, 3, 10'000).Switch(PortLine::Dtr, false)},
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
  void Plug(fake_serial::Cable cable, int weakCell = -1, std::int64_t shifterNs = 0) {
    fake_serial::Reset();
    fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
    fake_serial::SetLineBehaviour("COM2",
                                  {.cable = cable, .shifterNs = shifterNs, .weakCell = weakCell});
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
  // CTS between instructions shows the idle output, or RTS looped back. A
  // level shifter slower than the clock's phases lets no pulse through.
  const struct {
    Cable cable;
    std::vector<std::uint8_t> signature;
    bool ctsAtRest;
    std::int64_t shifterNs = 0;
  } cases[] = {{Cable::MisoOnCts, {0x1E, 0x73, 0x01}, true},
               {Cable::MisoOnCtsInverted, {0xE1, 0x8C, 0xFE}, false},
               {Cable::NoLineBack, {0x00, 0x00, 0x00}, false},
               {Cable::RtsLoopedBack, {0x00, 0x00, 0x00}, true},
               {Cable::MisoOnCts, {0xFF, 0xFF, 0xFF}, true, 20'000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.cable));
    SCOPED_TRACE(c.shifterNs);
    Plug(c.cable, -1, c.shifterNs);
    std::vector<std::uint8_t> signature;
    for (std::uint16_t at = 0x30; at <= 0x32; ++at) signature.push_back(ReadAnswer(0x28, at));
    EXPECT_EQ(signature, c.signature);
    EXPECT_EQ(fake_serial::Counts("COM2").reads, 24);
    std::array<bool, 1> cts{!c.ctsAtRest};
    EXPECT_TRUE(ReadMisoLine() && CollectMisoLevels(cts));
    EXPECT_EQ(cts[0], c.ctsAtRest);
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

TEST(ChipModel, EchoesEachByteDuringTheNextAndAnswersReadsInTheFourth) {
  using Answer = std::array<std::uint8_t, 4>;
  ChipModel serialOff;
  serialOff.SetFuses(ChipModel::kFactoryFuses | ChipModel::kSerialProgrammingFuse);
  Waveform waveform;
  EXPECT_EQ(waveform.Reset().Exchange({0xAC, 0x53, 0x00, 0x00}), (Answer{0xFF, 0xFF, 0x53, 0x00}));
  EXPECT_EQ(waveform.Exchange({0xAC, 0x80, 0x00, 0x00}), (Answer{0xFF, 0xAC, 0x80, 0x00}));
  waveform.Wait(10'000'000);
  EXPECT_EQ(waveform.Exchange({0x28, 0x00, 0x30, 0x00}), (Answer{0xFF, 0x28, 0x00, 0x1E}));
  EXPECT_EQ(waveform.Exchange({0x21, 0x00, 0x00, 0x00}), (Answer{0xFF, 0x21, 0x00, 0xFA}));
  EXPECT_TRUE(waveform.Chip().Miso()) << "idle between instructions";
  // With serial programming turned off the chip does not listen at all.
  Waveform off(serialOff);
  EXPECT_EQ(off.Reset().Exchange({0xAC, 0x53, 0x00, 0x00}), (Answer{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(off.Exchange({0x28, 0x00, 0x30, 0x00}), (Answer{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_NE(off.Chip().Report().find("before Programming Enable"), std::string::npos);
}

// The EEPROM and the user row, in bytes and in pages, written over cells
// that already hold something and read back.
struct MemoryCase {
  const char* name;
  std::uint8_t write;
  std::uint8_t read;     // byte by byte
  int address;           // where the write goes; a page's may lie anywhere in it
  std::size_t pageSize;  // 1 for a byte write
  bool userRow;
};

class ChipMemory : public testing::TestWithParam<MemoryCase> {};

TEST_P(ChipMemory, WriteOnlyClearsBitsPollsItsLastByteAndReadsBack) {
  const MemoryCase& c = GetParam();
  const int first = c.address & ~static_cast<int>(c.pageSize - 1);
  const int last = first + static_cast<int>(c.pageSize) - 1;
  ChipModel preloaded;
  const std::vector<std::uint8_t> old(c.userRow ? ChipModel::kUserRowSize : ChipModel::kEepromSize,
                                      0xF3);
  c.userRow ? preloaded.SetUserRow(old) : preloaded.SetEeprom(old);
  std::vector<std::uint8_t> data(c.pageSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0x3C + i);
  Waveform waveform(preloaded);
  waveform.Enabled().Page(c.write, c.address, data);
  std::uint8_t polled = 0;
  waveform.Byte(c.read).Byte(static_cast<std::uint8_t>(last >> 8)).Byte(last & 0xFF).Read(polled);
  waveform.Wait(5'000'000);
  std::vector<std::uint8_t> readBack(c.pageSize);
  for (std::size_t i = 0; i < readBack.size(); ++i) {
    const int at = first + static_cast<int>(i);
    waveform.Byte(c.read)
        .Byte(static_cast<std::uint8_t>(at >> 8))
        .Byte(at & 0xFF)
        .Read(readBack[i]);
  }
  const ChipModel chip = waveform.Chip();
  EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
  EXPECT_EQ(polled, data.back() ^ 0x80) << "the datum loaded, bit 7 inverted";
  for (std::size_t i = 0; i < data.size(); ++i) {
    const std::size_t at = static_cast<std::size_t>(first) + i;
    const std::uint8_t cell = c.userRow ? chip.UserRow()[at] : chip.Eeprom()[at];
    EXPECT_EQ(cell, data[i] & 0xF3) << at;
    EXPECT_EQ(readBack[i], cell) << at;
  }
  EXPECT_EQ(chip.Flash()[0], ChipModel::FactoryPattern(0)) << "the flash untouched";
}

INSTANTIATE_TEST_SUITE_P(EepromAndUserRow, ChipMemory,
                         testing::Values(MemoryCase{"EepromByte", 0xC0, 0xA0, 0x07FF, 1, false},
                                         MemoryCase{"EepromPage", 0xD0, 0xA0, 0x0725, 32, false},
                                         MemoryCase{"UserRowByte", 0x42, 0x22, 0x0011, 1, true},
                                         MemoryCase{"UserRowPage", 0x52, 0x22, 0x0000, 64, true}),
                         [](const testing::TestParamInfo<MemoryCase>& info) {
                           return info.param.name;
                         });

TEST(ChipModel, EraseClearsFlashEepromAndLockBitsAndTheUserRowOnlyWhileItsFuseAllows) {
  for (const bool userRowWritable : {true, false}) {
    SCOPED_TRACE(userRowWritable);
    ChipModel preloaded;
    preloaded.SetEeprom(std::vector<std::uint8_t>(ChipModel::kEepromSize, 0x11));
    preloaded.SetUserRow(std::vector<std::uint8_t>(ChipModel::kUserRowSize, 0x22));
    preloaded.SetLockBits(0);
    preloaded.SetFuses(userRowWritable ? ChipModel::kFactoryFuses
                                       : ChipModel::kFactoryFuses | ChipModel::kUserRowWritesFuse);
    std::uint8_t during = 0xFF;
    Waveform waveform(preloaded);
    waveform.Enabled().Instruction(0xAC, 0x80, 0, 0).Wait(1'000'000);
    waveform.Byte(0xA0).Byte(0x00).Byte(0x10).Read(during);
    const ChipModel chip = waveform.Chip();
    EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
    EXPECT_EQ(during, 0x00) << "a read during the erase";
    EXPECT_EQ(chip.Flash()[100], 0xFF);
    EXPECT_EQ(chip.Eeprom()[2047], 0xFF);
    EXPECT_EQ(chip.LockBits(), ChipModel::kUnlocked);
    EXPECT_EQ(chip.UserRow()[5], userRowWritable ? 0xFF : 0x22);
  }
}

// The chip's clock limits scale with its crystal, in MHz: the slowest and
// fastest a board may carry, and the usual one.
class ChipClock : public testing::TestWithParam<double> {
 protected:
  ChipModel Chip() const {
    ChipModel chip;
    ApplyChipOptions("cts=miso:xtal=" + std::to_string(GetParam()), chip);
    return chip;
  }
  std::int64_t Periods(double count) const {
    return static_cast<std::int64_t>(std::ceil(count * 1e3 / GetParam()));
  }
};

TEST_P(ChipClock, WritesAtItsShortestPhaseAndNothingFaster) {
  Waveform waveform(Chip());
  waveform.Enabled().Exchange({0x40, 0x00, 0x10, 0x00}, Periods(8));
  // One nanosecond short of eight periods: every pulse is lost, the echo too.
  EXPECT_EQ(waveform.Wait(5'000'000).Exchange({0x40, 0x00, 0x20, 0x00}, Periods(8) - 1),
            (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
  // A reset cuts the garbled instruction off: it is never carried out.
  const ChipModel cutOff = waveform.Wait(5'000'000).Switch(PortLine::Dtr, false).Chip();
  EXPECT_EQ(cutOff.Flash()[0x10], 0x00);
  EXPECT_EQ(cutOff.Flash()[0x20], ChipModel::FactoryPattern(0x20)) << "nothing written";
  EXPECT_EQ(cutOff.CutOff(), 1);
  EXPECT_TRUE(cutOff.Violations().empty()) << cutOff.Report();
  // Carried out, the lost pulses garble the instruction that takes the next bits.
  waveform.Enabled().Exchange({0x40, 0x00, 0x30, 0x00}, Periods(8) - 1);
  waveform.Exchange({0x40, 0x00, 0x20, 0x00}, Periods(8));
  const ChipModel chip = waveform.Wait(5'000'000).Chip();
  EXPECT_EQ(chip.BitsTakenWrong(), 32);
  EXPECT_EQ(chip.GarbledWrites(), 1) << chip.Report();
}

TEST_P(ChipClock, EachBitTakenWrongIsRecordedAndGarbled) {
  // The fourth byte of a Read Signature (recorded, not used), its first bit
  // a 1 after a 0: MOSI set up, and held, so many periods around the fall
  // of an eight-period pulse; where rest is given, a second such pulse
  // follows that soon. Then the rest of 0xD5.
  const struct {
    const char* fault;
    double setup, hold, rest;
    std::uint8_t taken;
    int wrong;
  } cases[] = {{"none", 2, 8, 0, 0xD5, 0},
               {"data set up late", 0.5, 8, 0, 0x55, 1},
               {"data held short", 2, 1, 0, 0x55, 1},
               {"a pulse too soon after it", 2, 2, 7, 0xD5, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    const std::int64_t shortest = Periods(8);
    Waveform w(Chip());
    w.Enabled().Byte(0x28, shortest).Byte(0x00, shortest).Byte(0x30, shortest).Wait(shortest);
    w.Switch(PortLine::Rts, false).Wait(shortest - Periods(c.setup)).Switch(PortLine::Txd, false);
    w.Wait(Periods(c.setup)).Switch(PortLine::Rts, true).Wait(Periods(c.hold));
    w.Switch(PortLine::Txd, true);
    if (c.rest > 0) {
      w.Wait(Periods(c.rest) - Periods(c.hold)).Switch(PortLine::Rts, false).Wait(shortest);
      w.Switch(PortLine::Rts, true);
    }
    const ChipModel chip = w.Wait(shortest).Bits(0xD5, 7, shortest).Chip();
    ASSERT_EQ(chip.Instructions().size(), 2u) << chip.Report();
    EXPECT_EQ(chip.Instructions()[1].bytes[3], c.taken);
    EXPECT_EQ(chip.BitsTakenWrong(), c.wrong);
    EXPECT_EQ(chip.Violations().size(), static_cast<std::size_t>(c.wrong)) << chip.Report();
  }
}

INSTANTIATE_TEST_SUITE_P(Crystals, ChipClock, testing::Values(3.0, 11.0592, 24.0));

TEST(LevelShifter, SwallowsLevelsShorterThanItsSettlingAndShowsTheOutputThatLate) {
  using Answer = std::array<std::uint8_t, 4>;
  Waveform waveform(ChipModel(), 2'000);
  EXPECT_EQ(waveform.Reset().Exchange({0xAC, 0x53, 0x00, 0x00}), (Answer{0xFF, 0xFF, 0x53, 0x00}));
  // The chip could follow pulses of 1.5 us; the cable swallows them.
  EXPECT_EQ(waveform.Exchange({0x28, 0x00, 0x30, 0x00}, 1'500), (Answer{0xFF, 0xFF, 0xFF, 0xFF}));
  // The echo of 0x28 begins with a 0 when the eighth bit is taken: the port
  // sees it a settling time each way after its clock edge.
  waveform.Wait(1'000'000).Bits(0x28, 7, 10'000).Switch(PortLine::Txd, true).Wait(10'000);
  waveform.Switch(PortLine::Rts, false).Wait(10'000).Switch(PortLine::Rts, true);
  EXPECT_TRUE(waveform.Wait(3'999).Miso());
  EXPECT_FALSE(waveform.Wait(1).Miso());
}
