// How long a command will take on a port: the waits of its sequences plus
// its line switches at the cost measured when the port was opened. The
// counts come from a dry run of the very sequences that draw the waveform.
#pragma once

#include <cstddef>
#include <cstdint>

#include "isp/chip_memories.h"
#include "serial/counting_lines.h"
#include "serial/line_driver.h"

double WorkMs(const LineWork& work, const LineCost& cost);

// A command as a start, one step per written byte, the pages read back
// after them and a finish.
struct CommandPlan {
  double startMs = 0;
  double perByteMs = 0;
  std::size_t bytes = 0;
  double finishMs = 0;
  // In page mode a step is a page: the image bytes it writes in all, which
  // progress counts instead of the steps. 0: a step per byte.
  std::size_t imageBytes = 0;
  std::size_t pagesRead = 0;
  double perPageReadMs = 0;

  double TotalMs() const {
    return startMs + static_cast<double>(bytes) * perByteMs +
           static_cast<double>(pagesRead) * perPageReadMs + finishMs;
  }
};

CommandPlan ErasePlan(const LineCost& cost);
// One step per byte, each as writeByte draws it.
using ByteStep = void (*)(std::uint16_t address, std::uint8_t value);
CommandPlan ByteDownloadPlan(const LineCost& cost, std::size_t bytes, ByteStep writeByte);
// One step per page, each a blind page write: a polled one ends sooner.
CommandPlan PageDownloadPlan(const LineCost& cost, std::size_t pages, std::size_t imageBytes);

// Reading the chip back: the check of who answers before anything is
// erased, and one page read.
double ChipCheckMs(const LineCost& cost);
double PageReadMs(const LineCost& cost, const ChipMemory& memory = kFlashMemory);

// A read of pages after the chip's check.
CommandPlan ReadBackPlan(const LineCost& cost, std::size_t pages,
                         const ChipMemory& memory = kFlashMemory);

// A download that checks the chip before it erases and reads the given
// pages back after its writes.
void AddReadBack(CommandPlan& plan, const LineCost& cost, std::size_t pages,
                 const ChipMemory& memory = kFlashMemory);
