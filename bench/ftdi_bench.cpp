// A full chip, 12 KB from an Intel HEX file and the 2 KB EEPROM, through an
// FTDI adapter in bit-bang mode (the fake libftdi, under both baud
// multipliers) and through the serial path with free switches and, for
// comparison, on a USB adapter that takes 1 ms per line switch. Simulated
// time throughout: the adapter's clock, the USB link and the switches all
// run on the virtual counter. Prints table rows.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "bench/measure.h"
#include "bench/slow_serial_device.h"
#include "commands/bit_clock_choice.h"
#include "commands/commands.h"
#include "commands/readback_commands.h"
#include "commands/text_log.h"
#include "image/hex_text.h"
#include "isp/chip_memories.h"
#include "serial/adapter_lines.h"
#include "serial/rezero.h"
#include "sim/chip_model.h"
#include "sim/fake_ftdi_device.h"
#include "sim/fake_sysfs.h"
#include "sim/virtual_counter.h"

namespace {

constexpr std::size_t kImageBytes = ChipModel::kFlashSize;
constexpr std::size_t kEepromPages = ChipModel::kEepromSize / ChipModel::kEepromPageSize;
// A polled write cycle ends when the chip's does.
constexpr double kChipWriteCycleMs = static_cast<double>(ChipModel::kPageWriteNs) / 1e6;
constexpr std::int64_t kClockReadingNs = 30;
constexpr double kEraseWaitsMs = 10 + 100 + 10 + 100 + 200 + 8 * kByteWaitsMs;

std::uint8_t ImageByte(std::size_t address) {
  return static_cast<std::uint8_t>(address * 7 + (address >> 8));
}

// Never FF, so that a kept EEPROM is written back whole.
std::uint8_t EepromByte(std::size_t address) {
  return static_cast<std::uint8_t>((address * 5 + 1) % 0xFF);
}

std::string TempFile(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("flash89-bench-" + std::to_string(::getpid()) + name))
      .string();
}

// Sixteen bytes to a record, as linkers write them.
std::string WriteFullImage() {
  const std::string path = TempFile(".hex");
  std::ofstream out(path);
  for (std::size_t at = 0; at < kImageBytes; at += 16) {
    unsigned sum = 16 + (at >> 8) + (at & 0xFF);
    std::string record = ":10" + WordToHex(static_cast<std::uint16_t>(at)) + "00";
    for (std::size_t i = 0; i < 16; ++i) {
      record += ByteToHex(ImageByte(at + i));
      sum += ImageByte(at + i);
    }
    out << record << ByteToHex(static_cast<std::uint8_t>(0x100 - (sum & 0xFF))) << "\n";
  }
  out << ":00000001FF\n";
  return path;
}

// The whole EEPROM, binary.
std::string WriteEepromImage() {
  const std::string path = TempFile("-eeprom.bin");
  std::ofstream out(path, std::ios::binary);
  for (std::size_t at = 0; at < ChipModel::kEepromSize; ++at)
    out.put(static_cast<char>(EepromByte(at)));
  return path;
}

bool Landed(const ChipModel& chip, bool eeprom) {
  for (std::size_t at = 0; at < kImageBytes; ++at) {
    if (chip.Flash()[at] != ImageByte(at)) return false;
  }
  for (std::size_t at = 0; eeprom && at < ChipModel::kEepromSize; ++at) {
    if (chip.Eeprom()[at] != EepromByte(at)) return false;
  }
  return chip.Violations().empty();
}

struct Run {
  double seconds = 0;
  bool ok = false;
};

// Page mode, blind: what the command line runs for --pages.
const CommandRequest kPages{.mode = WriteMode::Pages};

// The HEX image downloaded on COM2 as the request asks, byte mode by default
// as the window runs it. The chip is checked for the image, and with eeprom
// for the EEPROM image.
Run FlashInVirtualTime(const std::string& image, ChipModel& (*chip)(), CommandRequest request = {},
                       bool eeprom = false) {
  ResetSerialModule();
  StartClock();
  TextLog log("Download ...\r\n");
  request.file = FileNamed(image);
  const std::int64_t start = virtual_counter::NowNs();
  const bool done = !DownloadCommand(request, log).has_value();
  Run run;
  run.seconds = static_cast<double>(virtual_counter::NowNs() - start) / 1e9;
  run.ok = done && Landed(chip(), eeprom);
  return run;
}

ChipModel& AdapterChip() { return fake_ftdi::Chip(0); }

// In page mode: the EEPROM image written after the flash, blind, as
// without a line back; then that full EEPROM kept across the erase: read
// before it, written back and compared, each page's write cycle polled.
void EepromRows(const std::string& image, const std::string& eeprom, ChipModel& (*chip)(),
                const std::string& where) {
  ChipExtras written;
  written.eepromFile = eeprom;
  ChipExtras kept;
  kept.keepEeprom = true;
  for (const ChipExtras* extras : {&written, &kept}) {
    const bool keep = extras->keepEeprom;
    const double floorMs =
        keep ? kChipCheckMs + 2 * PageReadsMs(kEepromPages, ChipModel::kEepromPageSize) +
                   kEnterWaitsMs +
                   PageWritesMs(kImageBytes / kPageSize, kPageSize, kChipWriteCycleMs) +
                   PageWritesMs(kEepromPages, ChipModel::kEepromPageSize, kChipWriteCycleMs)
             : kEnterWaitsMs + PageWritesMs(kImageBytes / kPageSize, kPageSize, kWriteCycleMs) +
                   PageWritesMs(kEepromPages, ChipModel::kEepromPageSize, kWriteCycleMs);
    const Run run =
        FlashInVirtualTime(image, chip, {.mode = WriteMode::Pages, .extras = *extras}, true);
    Row(std::string(keep ? "Flash hex --keep-eeprom, 12 KB, full EEPROM kept, "
                         : "Flash hex --eeprom, 12 KB + 2 KB EEPROM, ") +
            where +
            Format(", simulated: time / floor (%.2f s / %.2f s)", run.seconds, floorMs / 1000),
        run.ok ? Format("%.4f", run.seconds * 1000 / floorMs) : "FAILED", "");
  }
}

// The whole flash read out page by page and verified, over the adapter's
// CTS# pin: no write waits, so the floor is the bit phases of 192 pages of
// 67 bytes after the 210 ms that enable programming.
void ReadBackOverAdapter(double multiplier) {
  constexpr double kFloorMs = 100 + 100 + 10 + 192 * 67 * 8 * 3 * 0.01;
  const auto file = std::filesystem::temp_directory_path() /
                    ("flash89-bench-readout-" + std::to_string(::getpid()) + ".bin");
  std::int64_t start = virtual_counter::NowNs();
  const bool read = !ReadCommand({.port = "COM2", .file = FileNamed(file.string())}).has_value();
  const double readMs = static_cast<double>(virtual_counter::NowNs() - start) / 1e6;
  start = virtual_counter::NowNs();
  const bool verified =
      !VerifyCommand({.port = "COM2", .file = FileNamed(file.string())}).has_value();
  const double verifyMs = static_cast<double>(virtual_counter::NowNs() - start) / 1e6;
  std::filesystem::remove(file);
  Row(Format("read, 12 KB, FTDI adapter (fake, %.0f samples per baud), simulated: time / floor "
             "(%.0f ms / %.0f ms)",
             multiplier, readMs, kFloorMs),
      read ? Format("%.4f", readMs / kFloorMs) : "FAILED", "");
  Row(Format("verify, 12 KB, FTDI adapter (fake, %.0f samples per baud), simulated: time / floor "
             "(%.0f ms / %.0f ms)",
             multiplier, verifyMs, kFloorMs),
      verified ? Format("%.4f", verifyMs / kFloorMs) : "FAILED", "");
}

// A full chip written and verified where the chip answers: the clock found
// from its echo, the erase and every page polled.
constexpr double kVerifiedGoalSeconds = 4;

// goal: the time asked for; 0: only a clock within the chip's limits.
void VerifiedRow(const std::string& image, ChipModel& (*chip)(), const std::string& where,
                 double goalSeconds = kVerifiedGoalSeconds) {
  const Run run = FlashInVirtualTime(image, chip, {.mode = WriteMode::Pages, .verify = true});
  const BitClockUsed clock = LastBitClock();
  const bool clean = run.ok && chip().GarbledWrites() == 0 && chip().BitsTakenWrong() == 0;
  Row("Flash hex --verify, 12 KB, " + where +
          Format(", clock found from the echo: %.2f us a phase (shortest followed %.2f us, %.0f "
                 "echoes wrong after)",
                 clock.phaseMs * 1000, clock.followedMs.value_or(0) * 1000, clock.fallbacks) +
          Format(", no garbled bit landed, simulated: time / goal (%.2f s / %.0f s)", run.seconds,
                 goalSeconds > 0 ? goalSeconds : kVerifiedGoalSeconds),
      clean ? Format("%.4f", run.seconds / kVerifiedGoalSeconds) : "FAILED",
      goalSeconds > 0 ? "<= 1" : "clock within the chip's limits, nothing garbled");
}

}  // namespace

int main() {
  const char* com2 = std::getenv("FLASH89_COM2");
  if (com2 == nullptr) {
    std::fprintf(stderr, "run with FLASH89_COM2 naming a fake port (bench/run.sh does)\n");
    return 2;
  }
  const std::string image = WriteFullImage();
  const std::string eeprom = WriteEepromImage();
  const double floorSeconds =
      (kEnterWaitsMs + static_cast<double>(kImageBytes) * kHexByteWaitsMs) / 1000;
  // A page: its instruction of 67 bytes and the write cycle's 5 ms.
  const double pageFloorSeconds =
      (kEnterWaitsMs + PageWritesMs(kImageBytes / kPageSize, kPageSize, kWriteCycleMs)) / 1000;
  virtual_counter::Reset();
  fake_ftdi::UseClock(virtual_counter::NowNs, virtual_counter::AdvanceTo);
  slow_serial::Reset(0);

  for (const double multiplier : {16.0, 4.0}) {
    fake_ftdi::Reset();
    fake_sysfs::Reset();
    fake_sysfs::AddUsbSerial(std::filesystem::path(com2).filename().string(), 1, 7, 0, "ftdi_sio");
    fake_ftdi::AdapterTraits traits;
    traits.samplesPerBaud = multiplier;
    traits.cable = Cable::MisoOnCts;
    fake_ftdi::AddAdapter(traits);
    const Run run = FlashInVirtualTime(image, AdapterChip);
    Row(Format("Flash hex, 12 KB, FTDI adapter in bit-bang mode (fake, %.0f samples per baud), "
               "simulated: time / waits (%.1f s / %.1f s)",
               multiplier, run.seconds, floorSeconds),
        run.ok ? Format("%.4f", run.seconds / floorSeconds) : "FAILED", "<= 1.05");
    const Run pages = FlashInVirtualTime(image, AdapterChip, kPages);
    Row(Format("Flash hex --pages, 12 KB, FTDI adapter in bit-bang mode (fake, %.0f samples per "
               "baud), simulated: time / floor (%.2f s / %.2f s)",
               multiplier, pages.seconds, pageFloorSeconds),
        pages.ok ? Format("%.4f", pages.seconds / pageFloorSeconds) : "FAILED", "<= 1.05");
    ReadBackOverAdapter(multiplier);
    VerifiedRow(
        image, AdapterChip,
        Format("chip at 11.0592 MHz, FTDI adapter (fake, %.0f samples per baud)", multiplier));
    EepromRows(image, eeprom, AdapterChip,
               Format("FTDI adapter in bit-bang mode (fake, %.0f samples per baud)", multiplier));
    const std::int64_t start = virtual_counter::NowNs();
    const bool erased = !EraseCommand({.port = "COM2"}).has_value();
    const double eraseMs = static_cast<double>(virtual_counter::NowNs() - start) / 1e6;
    Row(Format("Erase, FTDI adapter (fake, %.0f samples per baud), simulated, with the rate "
               "measurement: time / waits (%.0f ms / %.0f ms)",
               multiplier, eraseMs, kEraseWaitsMs),
        erased ? Format("%.3f", eraseMs / kEraseWaitsMs) : "FAILED", "");
  }

  setenv(kBitBangSetting, "off", 1);
  // Free switches leave only the clock: a reading takes about 30 ns here
  // (ElapsedMs's row), not the virtual counter's usual 1 us, which would
  // lengthen every 10 us phase by a tenth.
  virtual_counter::Reset(kClockReadingNs);
  slow_serial::Reset(0);
  const Run freePages = FlashInVirtualTime(image, slow_serial::Chip, kPages);
  Row(Format("Flash hex --pages, 12 KB, serial path, free switches (fake), 30 ns a clock "
             "reading, simulated: time / floor (%.2f s / %.2f s)",
             freePages.seconds, pageFloorSeconds),
      freePages.ok ? Format("%.4f", freePages.seconds / pageFloorSeconds) : "FAILED", "<= 1.02");
  const Run freeBytes = FlashInVirtualTime(image, slow_serial::Chip);
  Row(Format("Flash hex, byte mode, 12 KB, serial path, free switches (fake), 30 ns a clock "
             "reading, simulated: time / waits (%.1f s / %.1f s)",
             freeBytes.seconds, floorSeconds),
      freeBytes.ok ? Format("%.4f", freeBytes.seconds / floorSeconds) : "FAILED",
      "(for comparison)");
  for (const char* mhz : {"11.0592", "3"}) {
    slow_serial::Reset(0, Cable::MisoOnCts, std::string("xtal=") + mhz);
    VerifiedRow(image, slow_serial::Chip,
                std::string("chip at ") + mhz +
                    " MHz, serial path, free switches (fake), 30 ns a clock reading",
                mhz[0] == '3' ? 0 : kVerifiedGoalSeconds);
  }
  slow_serial::Reset(0, Cable::MisoOnCts);
  EepromRows(image, eeprom, slow_serial::Chip,
             "serial path, free switches (fake), 30 ns a clock reading");
  virtual_counter::Reset();
  slow_serial::Reset(1'000'000);
  const Run slowPages = FlashInVirtualTime(image, slow_serial::Chip, kPages);
  Row(Format("Flash hex --pages, 12 KB, serial path on a USB adapter taking 1 ms per switch "
             "(fake), simulated: time / floor (%.0f s / %.2f s)",
             slowPages.seconds, pageFloorSeconds),
      slowPages.ok
          ? Format("%.2f (%.1f min)", slowPages.seconds / pageFloorSeconds, slowPages.seconds / 60)
          : "FAILED",
      "(for comparison)");
  const Run serial = FlashInVirtualTime(image, slow_serial::Chip);
  Row(Format("Flash hex, 12 KB, serial path on a USB adapter taking 1 ms per switch (fake), "
             "simulated: time / waits (%.0f s / %.1f s)",
             serial.seconds, floorSeconds),
      serial.ok ? Format("%.2f (%.1f min)", serial.seconds / floorSeconds, serial.seconds / 60)
                : "FAILED",
      "(for comparison)");
  std::filesystem::remove(image);
  std::filesystem::remove(eeprom);
  return 0;
}
