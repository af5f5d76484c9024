// Prints what a simulated chip made of a recorded run, and optionally
// writes its memories to files:
//   chip_report [--chip=OPTIONS] TRACE DEVICE [FLASH-FILE [EEPROM-FILE [USER-ROW-FILE]]]
// OPTIONS give the chip the run began with, as the fake port was given it
// (sim/chip_options.h: "fuses=0x0E:lock=0x4:eeprom=FILE").
#include <cstdio>
#include <fstream>
#include <span>
#include <string_view>

#include "sim/chip_model.h"
#include "sim/chip_options.h"
#include "sim/trace_file.h"

namespace {

void WriteFile(const char* path, std::span<const std::uint8_t> contents) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(contents.data()),
             static_cast<std::streamsize>(contents.size()));
}

}  // namespace

int main(int argc, char* argv[]) {
  constexpr std::string_view kChip = "--chip=";
  ChipModel chip;
  int first = 1;
  if (argc > 1 && std::string_view(argv[1]).starts_with(kChip)) {
    if (!ApplyChipOptions(argv[1] + kChip.size(), chip)) {
      std::fprintf(stderr, "%s: cannot read a file that %s names\n", argv[0], argv[1]);
      return 2;
    }
    ++first;
  }
  const int files = argc - first - 2;
  if (files < 0 || files > 3) {
    std::fprintf(stderr,
                 "usage: %s [--chip=OPTIONS] TRACE-FILE DEVICE-PATH [FLASH-FILE [EEPROM-FILE "
                 "[USER-ROW-FILE]]]\n",
                 argv[0]);
    return 2;
  }
  chip.Feed(LineEventsOf(ReadTrace(argv[first]), argv[first + 1]));
  std::fputs(chip.Report().c_str(), stdout);
  if (files >= 1) WriteFile(argv[first + 2], chip.Flash());
  if (files >= 2) WriteFile(argv[first + 3], chip.Eeprom());
  if (files >= 3) WriteFile(argv[first + 4], chip.UserRow());
  return chip.Violations().empty() ? 0 : 1;
}
