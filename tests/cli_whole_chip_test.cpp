// The whole chip through the real flash89-cli, on COM2's own lines and on
// FTDI adapters: the EEPROM, the user row, the fuses and the lock bits, and
// a chip that does not echo.
#include "cli_end_to_end_fixture.h"

namespace {

class WholeChip : public CliReadBack {
 protected:
  // On a cable with MISO on CTS, before a chip with the given options.
  Finished On(const std::string& chip, std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"-p", "COM2"});
    return RunOnCable(":cts=miso" + chip, arguments);
  }

  static std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0x7F);
    return bytes;
  }

  template <std::size_t N>
  static std::array<std::uint8_t, N> BlankWith(const std::string& bytes) {
    std::array<std::uint8_t, N> memory{};
    memory.fill(0xFF);
    std::copy(bytes.begin(), bytes.end(), memory.begin());
    return memory;
  }
};

INSTANTIATE_TEST_SUITE_P(Paths, WholeChip,
                         testing::Values(ReadPath::SerialPort, ReadPath::AdapterBy16,
                                         ReadPath::AdapterBy4));

}  // namespace

TEST_P(WholeChip, FlashAndEepromLandWithOneEraseAndAreVerified) {
  const std::string eeprom =
      folder_.Write("data.hex", ":0300000011223397\n:0207FE00ABCD81\n:00000001FF\n");
  const Finished run = On("", {"hex", TestImage("blink_lf.hex"), "--eeprom", eeprom, "--verify"});
  ASSERT_EQ(run.status, 0) << run.err;
  const ChipModel chip = Chip();
  EXPECT_EQ(chip.EraseCount(), 1);
  EXPECT_EQ(chip.Flash(), ErasedFlashWith(ReadWhole(TestImage("blink.bin"))));
  auto expected = BlankWith<ChipModel::kEepromSize>("\x11\x22\x33");
  expected[0x7FE] = 0xAB;
  expected[0x7FF] = 0xCD;
  EXPECT_EQ(chip.Eeprom(), expected);
}

TEST_P(WholeChip, KeepEepromKeepsAFullEepromAcrossTheErase) {
  const std::string held = Pattern(ChipModel::kEepromSize, 3);
  const std::string chip = ":eeprom=" + folder_.Write("held.bin", held);
  const Finished run = On(chip, {"-q", "bin", TestImage("blink.bin"), "--keep-eeprom"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Chip().EraseCount(), 1);
  EXPECT_EQ(Chip().Eeprom(), BlankWith<ChipModel::kEepromSize>(held));
  // Written back and compared: no copy is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path(""))) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("flash89-eeprom-"));
  }
}

TEST_P(WholeChip, WriteEepromRefusesAByteThatNeedsAnEraseAndWritesNothing) {
  std::string held(16, '\xFF');
  held[0x10 - 1] = '\x00';
  const std::string chip = ":eeprom=" + folder_.Write("held.bin", held);
  const std::string wanted = folder_.Write("wanted.bin", std::string(16, '\x01'));
  const Finished refused = On(chip, {"write-eeprom", wanted});
  EXPECT_EQ(refused.status, 10);
  EXPECT_NE(refused.err.find("EEPROM-Adresse 000F braucht ein Löschen"), std::string::npos)
      << refused.err;
  EXPECT_EQ(Chip().Eeprom(), BlankWith<ChipModel::kEepromSize>(held));

  // Bytes that only clear bits are written in place, the others left alone.
  std::string cleared(16, '\x0F');
  cleared[0x0F] = '\x00';
  const Finished written = On(chip, {"write-eeprom", folder_.Write("cleared.bin", cleared)});
  EXPECT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(Chip().Eeprom(), BlankWith<ChipModel::kEepromSize>(cleared));
  EXPECT_EQ(Chip().EraseCount(), 0);
}

TEST_P(WholeChip, UserRowIsWrittenOnlyWhileItsFuseAllowsAndReadsBack) {
  const std::string row = "board 0042";
  const std::string file = folder_.Write("row.bin", row);
  const std::string chip = ":fuses=0x0E";  // user-row writes off
  const Finished forbidden = On(chip, {"write-user-row", file});
  EXPECT_EQ(forbidden.status, 11) << forbidden.err;
  ASSERT_EQ(On(chip, {"-q", "fuses", "user-row=on"}).status, 0);
  const Finished written = On(chip, {"write-user-row", file});
  ASSERT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(Chip().UserRow(), BlankWith<ChipModel::kUserRowSize>(row));
  const std::string out = folder_.Path("out.bin");
  ASSERT_EQ(On(chip, {"-q", "read", "--user-row", out}).status, 0);
  EXPECT_EQ(ReadWhole(out), row + std::string(64 - row.size(), '\xFF'));
  EXPECT_EQ(On(chip, {"-q", "verify", "--user-row", file}).status, 0);
}

TEST_P(WholeChip, LockTwoStopsALaterVerifyWithItsOwnMessage) {
  ASSERT_EQ(On("", {"-q", "hex", TestImage("blink_lf.hex")}).status, 0);
  const Finished lock = On("", {"lock", "2"});
  ASSERT_EQ(lock.status, 0) << lock.err;
  EXPECT_EQ(Chip().LockBits(), 0x04);
  const Finished verify = On("", {"verify", TestImage("blink_lf.hex")});
  EXPECT_EQ(verify.status, 9);
  EXPECT_NE(verify.err.find("ist gegen Auslesen gesperrt"), std::string::npos) << verify.err;
  EXPECT_EQ(On("", {"lock", "1"}).status, 14);
}

TEST_P(WholeChip, FusesSetByNameChangeOnlyThoseFuses) {
  const Finished set = On("", {"fuses", "x2=on", "external-clock=on"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.out, "Fuses: serial-programming an, x2 an, user-row an, external-clock an\n");
  EXPECT_EQ(Chip().Fuses(), 0x00);
  ASSERT_EQ(On("", {"fuses", "x2=off"}).status, 0);
  EXPECT_EQ(Chip().Fuses(), 0x02);
}

TEST_P(WholeChip, SerialProgrammingStaysOnWithoutItsOptionAndNothingIsSent) {
  const Finished refused = On("", {"fuses", "serial-programming=off"});
  EXPECT_EQ(refused.status, 13);
  EXPECT_TRUE(Chip().Instructions().empty());
  EXPECT_EQ(Chip().Fuses(), 0x0A);
}

TEST_P(WholeChip, AChipThatDoesNotEchoIsRefusedBeforeAnyErase) {
  // Serial programming turned off: the chip does not answer its enable.
  for (const char* command : {"--verify", "--keep-eeprom"}) {
    SCOPED_TRACE(command);
    const Finished run = On(":fuses=0x0B", {"hex", TestImage("blink_lf.hex"), command});
    EXPECT_EQ(run.status, 7);
    EXPECT_NE(run.err.find("Kein AT89S8253 an COM2: keine Antwort"), std::string::npos) << run.err;
  }
  EXPECT_EQ(Chip().EraseCount(), 0);
}
