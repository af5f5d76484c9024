#include "commands/bit_clock_choice.h"

#include <algorithm>

#include "isp/bit_clock.h"
#include "isp/clock_search.h"
#include "isp/echo_check.h"
#include "isp/isp.h"

namespace {

// Below this a wait is a handful of clock readings.
constexpr double kShortestPhaseMs = 0.0002;

std::optional<double> phaseByHandMs;
double floorMs = kBitPhaseMs;
bool exact = false;
BitClockUsed used;

}  // namespace

void SetBitPhaseByHand(std::optional<double> phaseMs) { phaseByHandMs = phaseMs; }

void StartBitClock(const LineCost& cost, bool exactPhases) {
  exact = exactPhases;
  // A port cannot switch a line faster than one switch takes.
  floorMs = std::max({kShortestPhaseMs, cost.modemSwitchMs, cost.breakSwitchMs});
  used = {phaseByHandMs.value_or(kBitPhaseMs), std::nullopt, phaseByHandMs.has_value()};
  SetBitPhaseMs(used.phaseMs);
  CheckEchoesUnder(std::nullopt);
}

void CheckAtWindowPhase() { SetBitPhaseMs(kBitPhaseMs); }

void TuneBitClock(MisoPolarity polarity, const std::array<std::uint8_t, 3>& signature) {
  if (!used.byHand) {
    const BitPhaseFound found = FindBitPhase(polarity, signature, floorMs, exact);
    used.phaseMs = found.phaseMs;
    used.followedMs = found.followedMs;
  }
  SetBitPhaseMs(used.phaseMs);
  CheckEchoesUnder(polarity);
  used.echoChecked = true;
}

BitClockUsed LastBitClock() {
  BitClockUsed last = used;
  if (last.echoChecked) last.fallbacks = EchoFallbacks();
  return last;
}
