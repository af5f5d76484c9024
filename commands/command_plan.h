// How long a command will take on a port: the waits of its sequences plus
// its line switches at the cost measured when the port was opened.
#pragma once

#include <cstddef>

#include "commands/line_check.h"
#include "isp/isp.h"

double WorkMs(const LineWork& work, const LineCost& cost);

// A command as a start, one step per written byte and a finish.
struct CommandPlan {
  double startMs = 0;
  double perByteMs = 0;
  std::size_t bytes = 0;
  double finishMs = 0;

  double TotalMs() const { return startMs + static_cast<double>(bytes) * perByteMs + finishMs; }
};

CommandPlan ErasePlan(const LineCost& cost);
CommandPlan HexDownloadPlan(const LineCost& cost, std::size_t bytes);
CommandPlan BinaryDownloadPlan(const LineCost& cost, std::size_t bytes);

// The wait of every binary byte beyond its write cycle.
inline constexpr double kBinaryByteExtraMs = 5;
