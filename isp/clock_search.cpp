#include "isp/clock_search.h"

#include <algorithm>
#include <cmath>

#include "isp/bit_clock.h"
#include "isp/echo_check.h"
#include "isp/isp.h"

namespace {

// Each phase tried is this much shorter than the one before: two steps
// halve it, so that twice the shortest followed is a phase already tried.
const double kStep = std::sqrt(2.0);
// Each signature byte read this often at each phase.
constexpr int kRounds = 2;

bool SignatureEchoed(MisoPolarity polarity, const std::array<std::uint8_t, 3>& signature) {
  for (int round = 0; round < kRounds; ++round) {
    for (std::uint8_t i = 0; i < signature.size(); ++i) {
      const std::array<std::uint8_t, 3> head{kReadSignature, 0x00,
                                             static_cast<std::uint8_t>(0x30 + i)};
      if (CancelRequested()) throw Cancelled{};
      // Cut off before its last byte, a wrong instruction is never carried out.
      if (!EchoedAsSent(head, polarity)) return false;
      if (AsSent(polarity, ReceiveIspByte()) != signature[i]) return false;
    }
  }
  RequireLinesHeld();
  return true;
}

}  // namespace

BitPhaseFound FindBitPhase(MisoPolarity polarity, const std::array<std::uint8_t, 3>& signature,
                           double floorMs, bool exactPhases) {
  BitPhaseFound found{kBitPhaseMs, kBitPhaseMs};
  double phaseMs = kBitPhaseMs;
  while (phaseMs > floorMs) {
    phaseMs = std::max(floorMs, phaseMs / kStep);
    SetBitPhaseMs(phaseMs);
    if (!SignatureEchoed(polarity, signature)) {
      DropToWindowPhase(polarity);
      found.phaseMs = std::min(kBitPhaseMs, 2 * found.followedMs);
      return found;
    }
    found.followedMs = phaseMs;
  }
  SetBitPhaseMs(kBitPhaseMs);
  found.phaseMs = exactPhases ? found.followedMs : std::min(kBitPhaseMs, 2 * found.followedMs);
  return found;
}
