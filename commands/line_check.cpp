#include "commands/line_check.h"

#include <algorithm>
#include <array>

#include "serial/line_driver.h"
#include "serial/rezero.h"

namespace {

constexpr int kPairs = kLineCheckSwitches / 4;

// A held break is set and cleared in one driver call each. A faked one
// sends a character at the lowest rate and, on clearing, waits until it is
// out: about 240 ms on Linux's ch341. A clear this slow, twice, is no
// disturbance of the machine.
constexpr double kFakedClearMs = 50;
constexpr int kFakedClearsToRefuse = 2;

// Far longer: more than this many times a modem-line switch and this much
// more, so that microseconds on a built-in port never count.
constexpr double kTooSlowFactor = 5;
constexpr double kTooSlowMarginMs = 1;

double TimedSwitch(void (*line)(bool), bool on) {
  const double start = ElapsedMs();
  line(on);
  return ElapsedMs() - start;
}

// The median resists a switch that the machine happened to interrupt.
template <std::size_t N>
double Median(std::array<double, N> samples, std::size_t count) {
  const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(count / 2);
  std::nth_element(samples.begin(), middle, samples.begin() + static_cast<std::ptrdiff_t>(count));
  return *middle;
}

}  // namespace

LineCheck CheckLine() {
  LineCheck check;
  if (const auto known = ActiveLineDriver().KnownCost()) {
    check.cost = *known;
    check.exactPhases = true;
    if (LineLostSinceOpen()) check.verdict = LineVerdict::LineLost;
    return check;
  }
  std::array<double, 2 * kPairs> modem{};
  for (int pair = 0; pair < kPairs; ++pair) {
    modem[2 * pair] = TimedSwitch(SetRtsLine, true);
    modem[2 * pair + 1] = TimedSwitch(SetRtsLine, false);
  }
  check.cost.modemSwitchMs = Median(modem, modem.size());
  if (LineLostSinceOpen()) {
    check.verdict = LineVerdict::LineLost;
    return check;
  }

  std::array<double, 2 * kPairs> breaks{};
  std::size_t timed = 0;
  int slowClears = 0;
  for (int pair = 0; pair < kPairs; ++pair) {
    breaks[timed++] = TimedSwitch(SetTxdLine, true);
    const double clear = TimedSwitch(SetTxdLine, false);
    breaks[timed++] = clear;
    if (LineLostSinceOpen()) {
      check.verdict = LineVerdict::BreakRefused;
      break;
    }
    if (clear >= kFakedClearMs && ++slowClears == kFakedClearsToRefuse) {
      check.verdict = LineVerdict::BreakFaked;
      break;
    }
  }
  check.cost.breakSwitchMs = Median(breaks, timed);
  if (check.verdict == LineVerdict::Fit &&
      check.cost.breakSwitchMs > kTooSlowFactor * check.cost.modemSwitchMs + kTooSlowMarginMs) {
    check.verdict = LineVerdict::BreakTooSlow;
  }
  return check;
}
