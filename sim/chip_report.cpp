// Prints what a simulated chip made of a recorded run, and optionally
// writes its flash to a file: chip_report TRACE DEVICE [FLASH-FILE]
#include <cstdio>
#include <fstream>

#include "sim/chip_model.h"
#include "sim/trace_file.h"

int main(int argc, char* argv[]) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s TRACE-FILE DEVICE-PATH [FLASH-FILE]\n", argv[0]);
    return 2;
  }
  ChipModel chip;
  chip.Feed(LineEventsOf(ReadTrace(argv[1]), argv[2]));
  std::fputs(chip.Report().c_str(), stdout);
  if (argc == 4) {
    std::ofstream(argv[3], std::ios::binary)
        .write(reinterpret_cast<const char*>(chip.Flash().data()), ChipModel::kFlashSize);
  }
  return chip.Violations().empty() ? 0 : 1;
}
