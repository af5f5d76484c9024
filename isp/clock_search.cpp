#include "isp/clock_search.h"

#include <algorithm>
#include <cmath>

#include "isp/bit_clock.h"
#include "isp/echo_check.h"
#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

// Each phase tried is this much shorter than the one before: two steps
// halve it, so that twice the shortest followed is a phase already tried.
const double kStep = std::sqrt(2.0);
// Each signature byte read this often at each phase.
constexpr int kRounds = 2;
// A try's bit phases: per read, three bytes sent and one received, each
// of them three phases a bit and one more at its end.
constexpr int kTryPhases = kRounds * 3 * 4 * (3 * 8 + 1);

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

// A phase that the host times is the wait and the switch after it, and a
// switch costs what the host's load makes it cost at the time: a chip that
// followed a try followed phases no longer than the try's average. The
// phase taken is twice that, a wait that stays above the chip's limit
// even where the switches later cost nothing. Where the adapter times
// every phase (exactPhases), the phase is what was asked.
BitPhaseFound FindBitPhase(MisoPolarity polarity, const std::array<std::uint8_t, 3>& signature,
                           double floorMs, bool exactPhases) {
  BitPhaseFound found{kBitPhaseMs, kBitPhaseMs};
  double phaseMs = kBitPhaseMs;
  while (phaseMs > floorMs) {
    phaseMs = std::max(floorMs, phaseMs / kStep);
    SetBitPhaseMs(phaseMs);
    const double start = ElapsedMs();
    if (!SignatureEchoed(polarity, signature)) {
      DropToWindowPhase(polarity);
      found.phaseMs = std::min(kBitPhaseMs, 2 * found.followedMs);
      return found;
    }
    found.followedMs =
        exactPhases ? phaseMs : std::max(phaseMs, (ElapsedMs() - start) / kTryPhases);
  }
  SetBitPhaseMs(kBitPhaseMs);
  found.phaseMs = exactPhases ? found.followedMs : std::min(kBitPhaseMs, 2 * found.followedMs);
  return found;
}
