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

// One page read back.
double PageReadMs(const LineCost& cost, const ChipMemory& memory = kFlashMemory);

// Plans made once the chip has answered, at the clock its answers chose:
// a read of pages, and a download whose erase and writes are polled (one
// step per byte, or per page with the image bytes it writes).
CommandPlan ReadBackPlan(const LineCost& cost, std::size_t pages,
                         const ChipMemory& memory = kFlashMemory);
CommandPlan AnsweredDownloadPlan(const LineCost& cost, std::size_t pages, std::size_t imageBytes);
CommandPlan AnsweredByteDownloadPlan(const LineCost& cost, std::size_t bytes);

// The given pages read back after a download's writes.
void AddReadBack(CommandPlan& plan, const LineCost& cost, std::size_t pages,
                 const ChipMemory& memory = kFlashMemory);
