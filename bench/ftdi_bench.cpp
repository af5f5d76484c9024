// A full chip, 12 KB from an Intel HEX file, through an FTDI adapter in
// bit-bang mode (the fake libftdi, under both baud multipliers) and, for
// comparison, through the serial path on a USB adapter that takes 1 ms per
// line switch. Simulated time throughout: the adapter's clock, the USB
// link and the switches all run on the virtual counter. Prints table rows.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bench/measure.h"
#include "bench/slow_serial_device.h"
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
constexpr std::int64_t kClockReadingNs = 30;
constexpr double kEraseWaitsMs = 10 + 100 + 10 + 100 + 200 + 8 * kByteWaitsMs;

std::uint8_t ImageByte(std::size_t address) {
  return static_cast<std::uint8_t>(address * 7 + (address >> 8));
}

// Sixteen bytes to a record, as linkers write them.
std::string WriteFullImage() {
  const auto path = std::filesystem::temp_directory_path() /
                    ("flash89-bench-" + std::to_string(::getpid()) + ".hex");
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
  return path.string();
}

bool Landed(const ChipModel& chip) {
  for (std::size_t at = 0; at < kImageBytes; ++at) {
    if (chip.Flash()[at] != ImageByte(at)) return false;
  }
  return chip.Violations().empty();
}

struct Run {
  double seconds = 0;
  bool ok = false;
};

using HexCommand = std::optional<Fault> (*)(int, LogLines&, const FileNameRequest&,
                                            ProgressListener*);

// Byte mode, as the window runs it.
std::optional<Fault> FlashHexBytes(int port, LogLines& log, const FileNameRequest& file,
                                   ProgressListener* progress) {
  return FlashHexCommand(port, log, file, progress);
}

// Page mode, blind: what the command line runs for --pages.
std::optional<Fault> FlashHexPages(int port, LogLines& log, const FileNameRequest& file,
                                   ProgressListener* progress) {
  return FlashHexPagesCommand(port, log, file, progress);
}

Run FlashInVirtualTime(const std::string& image, const std::vector<LineEvent>& (*events)(),
                       HexCommand command = FlashHexBytes) {
  ResetSerialModule();
  StartClock();
  TextLog log("Download ...\r\n");
  const std::int64_t start = virtual_counter::NowNs();
  const bool done = !command(
                         2, log, [&] { return image; }, nullptr)
                         .has_value();
  Run run;
  run.seconds = static_cast<double>(virtual_counter::NowNs() - start) / 1e9;
  ChipModel chip;
  chip.Feed(events());
  run.ok = done && Landed(chip);
  return run;
}

const std::vector<LineEvent>& AdapterEvents() { return fake_ftdi::Events(0); }

// The whole flash read out page by page and verified, over the adapter's
// CTS# pin: no write waits, so the floor is the bit phases of 192 pages of
// 67 bytes after the 210 ms that enable programming.
void ReadBackOverAdapter(double multiplier) {
  constexpr double kFloorMs = 100 + 100 + 10 + 192 * 67 * 8 * 3 * 0.01;
  const auto file = std::filesystem::temp_directory_path() /
                    ("flash89-bench-readout-" + std::to_string(::getpid()) + ".bin");
  std::int64_t start = virtual_counter::NowNs();
  const bool read = !ReadCommand("COM2", file.string()).has_value();
  const double readMs = static_cast<double>(virtual_counter::NowNs() - start) / 1e6;
  start = virtual_counter::NowNs();
  const bool verified = !VerifyCommand("COM2", file.string()).has_value();
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

}  // namespace

int main() {
  const char* com2 = std::getenv("FLASH89_COM2");
  if (com2 == nullptr) {
    std::fprintf(stderr, "run with FLASH89_COM2 naming a fake port (bench/run.sh does)\n");
    return 2;
  }
  const std::string image = WriteFullImage();
  const double floorSeconds =
      (kEnterWaitsMs + static_cast<double>(kImageBytes) * kHexByteWaitsMs) / 1000;
  // A page: its instruction of 67 bytes and the write cycle's 5 ms.
  const double pageFloorSeconds =
      (kEnterWaitsMs + static_cast<double>(kImageBytes / kPageSize) *
                           (static_cast<double>(3 + kPageSize) * kByteWaitsMs + kWriteCycleMs)) /
      1000;
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
    const Run run = FlashInVirtualTime(image, AdapterEvents);
    Row(Format("Flash hex, 12 KB, FTDI adapter in bit-bang mode (fake, %.0f samples per baud), "
               "simulated: time / waits (%.1f s / %.1f s)",
               multiplier, run.seconds, floorSeconds),
        run.ok ? Format("%.4f", run.seconds / floorSeconds) : "FAILED", "<= 1.05");
    const Run pages = FlashInVirtualTime(image, AdapterEvents, FlashHexPages);
    Row(Format("Flash hex --pages, 12 KB, FTDI adapter in bit-bang mode (fake, %.0f samples per "
               "baud), simulated: time / floor (%.2f s / %.2f s)",
               multiplier, pages.seconds, pageFloorSeconds),
        pages.ok ? Format("%.4f", pages.seconds / pageFloorSeconds) : "FAILED", "<= 1.05");
    ReadBackOverAdapter(multiplier);
    const std::int64_t start = virtual_counter::NowNs();
    const bool erased = !EraseCommand(2).has_value();
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
  const Run freePages = FlashInVirtualTime(image, slow_serial::Events, FlashHexPages);
  Row(Format("Flash hex --pages, 12 KB, serial path, free switches (fake), 30 ns a clock "
             "reading, simulated: time / floor (%.2f s / %.2f s)",
             freePages.seconds, pageFloorSeconds),
      freePages.ok ? Format("%.4f", freePages.seconds / pageFloorSeconds) : "FAILED", "<= 1.02");
  const Run freeBytes = FlashInVirtualTime(image, slow_serial::Events);
  Row(Format("Flash hex, byte mode, 12 KB, serial path, free switches (fake), 30 ns a clock "
             "reading, simulated: time / waits (%.1f s / %.1f s)",
             freeBytes.seconds, floorSeconds),
      freeBytes.ok ? Format("%.4f", freeBytes.seconds / floorSeconds) : "FAILED",
      "(for comparison)");
  virtual_counter::Reset();
  slow_serial::Reset(1'000'000);
  const Run slowPages = FlashInVirtualTime(image, slow_serial::Events, FlashHexPages);
  Row(Format("Flash hex --pages, 12 KB, serial path on a USB adapter taking 1 ms per switch "
             "(fake), simulated: time / floor (%.0f s / %.2f s)",
             slowPages.seconds, pageFloorSeconds),
      slowPages.ok
          ? Format("%.2f (%.1f min)", slowPages.seconds / pageFloorSeconds, slowPages.seconds / 60)
          : "FAILED",
      "(for comparison)");
  const Run serial = FlashInVirtualTime(image, slow_serial::Events);
  Row(Format("Flash hex, 12 KB, serial path on a USB adapter taking 1 ms per switch (fake), "
             "simulated: time / waits (%.0f s / %.1f s)",
             serial.seconds, floorSeconds),
      serial.ok ? Format("%.2f (%.1f min)", serial.seconds / floorSeconds, serial.seconds / 60)
                : "FAILED",
      "(for comparison)");
  std::filesystem::remove(image);
  return 0;
}
