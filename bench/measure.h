// Helpers for the benchmark programs: an independent clock, order
// statistics and one table row per figure.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <x86intrin.h>
#endif

// Nanoseconds from the processor's time-stamp counter, calibrated against
// the monotonic clock: a second clock, read without the code under test.
class IndependentClock {
 public:
  IndependentClock() {
    const std::int64_t ns0 = MonotonicNs();
    const std::uint64_t ticks0 = Ticks();
    while (MonotonicNs() - ns0 < 200'000'000) {
    }
    nsPerTick_ = static_cast<double>(MonotonicNs() - ns0) / static_cast<double>(Ticks() - ticks0);
  }
  double NowNs() const { return static_cast<double>(Ticks()) * nsPerTick_; }

 private:
  static std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  }
  static std::uint64_t Ticks() {
#if defined(__x86_64__)
    _mm_lfence();
    return __rdtsc();
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
           static_cast<std::uint64_t>(now.tv_nsec);
#endif
  }
  double nsPerTick_ = 1;
};

inline double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                   values.end());
  return values[index];
}

inline void Row(const std::string& figure, const std::string& value, const std::string& target) {
  std::printf("| %s | %s | %s |\n", figure.c_str(), value.c_str(), target.c_str());
  std::fflush(stdout);
}

inline std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

// Waits that one byte on the chip's programming interface must contain:
// eight bits of three 0.01 ms phases, and 0.01 ms before the final break.
inline constexpr double kByteWaitsMs = 8 * 3 * 0.01 + 0.01;
// Entering programming mode: its own waits and three instructions.
inline constexpr double kEnterWaitsMs = 100 + 100 + 10 + 10 + 500 + 10 + 100 + 3 * 4 * kByteWaitsMs;
inline constexpr double kHexByteWaitsMs = 4 * kByteWaitsMs + 5;
inline constexpr double kBinByteWaitsMs = kHexByteWaitsMs + 5;
// Reading: the bit phases of each byte of the instruction.
inline constexpr double kReadByteMs = 8 * 3 * 0.01;
// Pages each written by one instruction of three bytes and the page, then
// a write cycle: the blind allowance, or the chip's own where it is polled.
inline constexpr double PageWritesMs(std::size_t pages, std::size_t pageBytes, double cycleMs) {
  return static_cast<double>(pages) * (static_cast<double>(3 + pageBytes) * kByteWaitsMs + cycleMs);
}
inline constexpr double PageReadsMs(std::size_t pages, std::size_t pageBytes) {
  return static_cast<double>(pages * (3 + pageBytes)) * kReadByteMs;
}
// The chip checked before the erase: programming enabled and its echo, the
// signature's three reads and the lock bits' one.
inline constexpr double kChipCheckMs = 100 + 100 + 10 + 4 * kByteWaitsMs + 4 * 4 * kReadByteMs;
