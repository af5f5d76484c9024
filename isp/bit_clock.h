// How long each phase of a bit lasts: the window's 0.01 ms unless the
// command line chose a shorter one for a chip that keeps up with it.
#pragma once

// Every bit the chip is sent or read from is clocked at this phase.
double BitPhaseMs();
// Back to 0.01 ms at the start of every command.
void SetBitPhaseMs(double phaseMs);
