// The real POSIX serial layer on the fake device preloaded at the operating
// system's boundary: the bit transfer's cost and the calls per written byte.
// With an argument N instead, reads the clock N times and does nothing else
// (for counting its system calls with strace).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/measure.h"
#include "isp/isp.h"
#include "serial/rezero.h"
#include "sim/trace_file.h"

namespace {

bool IsLineSwitch(const std::string& call) {
  return call == "TIOCMBIS" || call == "TIOCMBIC" || call == "TIOCSBRK" || call == "TIOCCBRK";
}

}  // namespace

int main(int argc, char* argv[]) {
  StartClock();
  if (argc == 2) {
    volatile double sink = 0;
    for (long i = std::atol(argv[1]); i > 0; --i) sink = sink + ElapsedMs();
    return 0;
  }
  const char* trace = std::getenv("FLASH89_FAKE_TRACE");
  const char* device = std::getenv("FLASH89_COM2");
  if (trace == nullptr || device == nullptr || !OpenPort("COM2:9600,N,8,1")) {
    std::fprintf(stderr, "run with the fake serial device preloaded and COM2 on it\n");
    return 2;
  }
  constexpr int kBytes = 2000;
  const double start = ElapsedMs();
  for (int i = 0; i < kBytes; ++i) SendIspByte(static_cast<std::uint8_t>(i));
  const double ratio = (ElapsedMs() - start) / (kBytes * kByteWaitsMs);
  ClosePort();
  Row("SendIspByte / its waits, fake device at the system boundary (2000 bytes)",
      Format("%.4f", ratio), "as low as the device allows");

  std::remove(trace);
  constexpr int kWrites = 200;
  OpenPort("COM2:9600,N,8,1");
  SetRtsLine(true);
  SetDtrLine(true);
  // The trace and the clock share the monotonic time base.
  const auto firstNs = static_cast<std::int64_t>(ElapsedMs() * 1e6) + ClockStart;
  for (int i = 0; i < kWrites; ++i) WriteFlashByte(static_cast<std::uint16_t>(i), 0x5A);
  const auto lastNs = static_cast<std::int64_t>(ElapsedMs() * 1e6) + ClockStart;
  ClosePort();
  int calls = 0, switches = 0;
  for (const TraceRecord& record : ReadTrace(trace)) {
    if (record.device != device || record.ns < firstNs || record.ns > lastNs) continue;
    ++calls;
    switches += IsLineSwitch(record.call) ? 1 : 0;
  }
  Row("System calls per written byte at the system boundary (line switches of them)",
      Format("%.2f (%.2f)", static_cast<double>(calls) / kWrites,
             static_cast<double>(switches) / kWrites),
      "100 (100)");
  return 0;
}
