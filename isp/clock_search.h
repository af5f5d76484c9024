// The shortest bit phase a chip follows, found from its echo: its crystal
// and the cable's level shifter set it, and neither can be known
// beforehand.
#pragma once

#include <array>
#include <cstdint>

#include "isp/readback.h"

struct BitPhaseFound {
  double phaseMs = 0;  // the phase to clock at
  // The shortest try whose echoes all came back right: its phases as the
  // host's clock timed them, on average, switches included.
  double followedMs = 0;
};

// With programming enabled at the window's phase, and the signature read
// there under the polarity. Tries ever shorter phases, each by reading the
// signature with every echo checked, down to floorMs (what the port's lines
// allow): the first phase that comes back wrong ends the search, cut off
// before its instruction's last byte and with programming enabled again at
// the window's phase. The phase taken is twice the shortest one followed,
// as the host's clock timed it, so that the chip keeps a margin against a
// host whose switches were slow during the tries and are quick later.
// Where every phase lasts exactly as asked (exactPhases) and the chip
// followed even the floor, it is the floor. Leaves the bit phase at the
// window's.
BitPhaseFound FindBitPhase(MisoPolarity polarity, const std::array<std::uint8_t, 3>& signature,
                           double floorMs, bool exactPhases);
