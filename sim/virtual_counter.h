// A counter in virtual time: every reading moves it forward by a fixed step,
// so spinning waits end at once in real time while the recorded waveform
// keeps every wait at its full length.
#pragma once

#include <cstdint>

namespace virtual_counter {

inline constexpr std::int64_t kDefaultStepNs = 1000;

// tickNs > 1 makes a coarser counter, like a 10 MHz performance counter:
// its readings then lag the virtual time by up to a tick.
void Reset(std::int64_t stepNs = kDefaultStepNs, std::int64_t tickNs = 1);
std::int64_t NowNs();

// The host was busy elsewhere just before its reading'th look at the
// counter from now on (counting from 1), and before every later one too
// where andAfter: that reading finds the time lateNs further on.
void LateAtReading(std::int64_t reading, std::int64_t lateNs, bool andAfter = false);

// The counter's readings since the last Reset.
std::int64_t Readings();

// Moves the time forward to ns, as a call that blocks until then would;
// an earlier ns leaves it where it is.
void AdvanceTo(std::int64_t ns);

}  // namespace virtual_counter
