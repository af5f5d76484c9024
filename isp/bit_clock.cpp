#include "isp/bit_clock.h"

#include "isp/isp.h"

namespace {
double bitPhaseMs = kBitPhaseMs;
}  // namespace

double BitPhaseMs() { return bitPhaseMs; }
void SetBitPhaseMs(double phaseMs) { bitPhaseMs = phaseMs; }
