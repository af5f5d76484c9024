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
#include "commands/text_log.h"
#include "image/hex_text.h"
#include "serial/adapter_lines.h"
#include "serial/rezero.h"
#include "sim/chip_model.h"
#include "sim/fake_ftdi_device.h"
#include "sim/fake_sysfs.h"
#include "sim/virtual_counter.h"

namespace {

constexpr std::size_t kImageBytes = ChipModel::kFlashSize;
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

Run FlashInVirtualTime(const std::string& image, const std::vector<LineEvent>& (*events)()) {
  ResetSerialModule();
  StartClock();
  TextLog log("Download ...\r\n");
  const std::int64_t start = virtual_counter::NowNs();
  const bool done = !FlashHexCommand(2, log, [&] { return image; }).has_value();
  Run run;
  run.seconds = static_cast<double>(virtual_counter::NowNs() - start) / 1e9;
  ChipModel chip;
  chip.Feed(events());
  run.ok = done && Landed(chip);
  return run;
}

const std::vector<LineEvent>& AdapterEvents() { return fake_ftdi::Events(0); }

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
  virtual_counter::Reset();
  fake_ftdi::UseClock(virtual_counter::NowNs, virtual_counter::AdvanceTo);
  slow_serial::Reset(0);

  for (const double multiplier : {16.0, 4.0}) {
    fake_ftdi::Reset();
    fake_sysfs::Reset();
    fake_sysfs::AddUsbSerial(std::filesystem::path(com2).filename().string(), 1, 7, 0, "ftdi_sio");
    fake_ftdi::AdapterTraits traits;
    traits.samplesPerBaud = multiplier;
    fake_ftdi::AddAdapter(traits);
    const Run run = FlashInVirtualTime(image, AdapterEvents);
    Row(Format("Flash hex, 12 KB, FTDI adapter in bit-bang mode (fake, %.0f samples per baud), "
               "simulated: time / waits (%.1f s / %.1f s)",
               multiplier, run.seconds, floorSeconds),
        run.ok ? Format("%.4f", run.seconds / floorSeconds) : "FAILED", "<= 1.05");
    const std::int64_t start = virtual_counter::NowNs();
    const bool erased = !EraseCommand(2).has_value();
    const double eraseMs = static_cast<double>(virtual_counter::NowNs() - start) / 1e6;
    Row(Format("Erase, FTDI adapter (fake, %.0f samples per baud), simulated, with the rate "
               "measurement: time / waits (%.0f ms / %.0f ms)",
               multiplier, eraseMs, kEraseWaitsMs),
        erased ? Format("%.3f", eraseMs / kEraseWaitsMs) : "FAILED", "");
  }

  setenv(kBitBangSetting, "off", 1);
  slow_serial::Reset(1'000'000);
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
