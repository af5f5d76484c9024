// Prints what a simulated chip made of a recorded run: chip_report TRACE DEVICE
#include <cstdio>

#include "sim/chip_model.h"
#include "sim/trace_file.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TRACE-FILE DEVICE-PATH\n", argv[0]);
    return 2;
  }
  ChipModel chip;
  chip.Feed(LineEventsOf(ReadTrace(argv[1]), argv[2]));
  std::fputs(chip.Report().c_str(), stdout);
  return chip.Violations().empty() ? 0 : 1;
}
