// The millisecond clock on the machine's real monotonic counter.
#include <gtest/gtest.h>

#include <chrono>

#include "serial/rezero.h"

namespace {

double IndependentMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
      .count();
}

}  // namespace

TEST(Clock, StartsNearZeroAndRunsForward) {
  StartClock();
  const double first = ElapsedMs();
  EXPECT_GE(first, 0.0);
  EXPECT_LT(first, 50.0);
  double previous = first;
  for (int i = 0; i < 10000; ++i) {
    const double now = ElapsedMs();
    ASSERT_GE(now, previous);
    previous = now;
  }
}

TEST(Clock, ShortestWaitNeverEndsEarly) {
  StartClock();
  for (int i = 0; i < 2000; ++i) {
    const double before = ElapsedMs();
    const auto independentStart = std::chrono::steady_clock::now();
    WaitMs(0.01);
    const double waited = ElapsedMs() - before;
    ASSERT_GE(waited, 0.01) << "wait " << i;
    ASSERT_GE(IndependentMs(independentStart), 0.01) << "wait " << i;
  }
}

TEST(Clock, LongerWaitsNeverEndEarly) {
  StartClock();
  for (const double duration : {0.1, 1.0, 5.0}) {
    const auto independentStart = std::chrono::steady_clock::now();
    WaitMs(duration);
    EXPECT_GE(IndependentMs(independentStart), duration) << duration;
  }
}

TEST(Clock, ZeroAndNegativeWaitsReturnAtOnce) {
  StartClock();
  const auto start = std::chrono::steady_clock::now();
  WaitMs(0);
  WaitMs(-5);
  EXPECT_LT(IndependentMs(start), 5.0);
}
