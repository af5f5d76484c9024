// The real POSIX serial layer on the fake device preloaded at the operating
// system's boundary: the bit transfer's cost, the calls per written byte,
// what the line check at open costs, and how close a command's estimate
// comes to the time it takes, on free switches and on 1 ms a switch.
// Takes the test images' folder. With a number N instead, reads the clock N
// times and does nothing else (for counting its system calls with strace).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/measure.h"
#include "commands/commands.h"
#include "commands/line_check.h"
#include "commands/text_log.h"
#include "isp/isp.h"
#include "serial/rezero.h"
#include "sim/trace_file.h"

namespace {

bool IsLineSwitch(const std::string& call) {
  return call == "TIOCMBIS" || call == "TIOCMBIC" || call == "TIOCSBRK" || call == "TIOCCBRK";
}

// The fake devices that run.sh lists besides COM2, as COM1.
void UseDevice(const char* name) {
  const std::string folder = std::getenv("FLASH89_BENCH_PORTS");
  setenv("FLASH89_COM1", (folder + "/" + name).c_str(), 1);
}

void LineCheckCost() {
  double tookMs[3] = {};
  const char* devices[] = {"free", "slow", "faked"};
  for (int i = 0; i < 3; ++i) {
    UseDevice(devices[i]);
    OpenPort("COM1:9600,N,8,1");
    const double start = ElapsedMs();
    CheckLine();
    tookMs[i] = ElapsedMs() - start;
    ClosePort();
  }
  Row("Line check at open, at the system boundary: free switches / 1 ms a switch / faked break",
      Format("%.3f / %.1f / %.0f ms", tookMs[0], tookMs[1], tookMs[2]), "once per command");
}

class FirstReport : public ProgressListener {
 public:
  void OnProgress(const CommandProgress& progress) override {
    if (atMs >= 0) return;
    atMs = ElapsedMs();
    msLeft = progress.msLeft;
  }
  double atMs = -1;
  double msLeft = 0;
};

// The estimate at the first report against the time from there to the end.
void EstimateAgainstTime(const std::string& images) {
  const struct {
    const char* what;
    const char* device;
    const char* image;  // null for Erase
  } runs[] = {
      {"Erase, free switches", "free", nullptr},
      {"Erase, 1 ms a switch", "slow", nullptr},
      {"Flash hex 1 KB, free switches", "free", "big_1k.hex"},
      {"Flash hex 307 bytes, 1 ms a switch", "slow", "blink_lf.hex"},
  };
  for (const auto& run : runs) {
    UseDevice(run.device);
    FirstReport report;
    TextLog log;
    const std::string image = run.image != nullptr ? images + "/" + run.image : "";
    const CommandRequest request{.port = "COM1", .file = FileNamed(image)};
    const auto fault = run.image != nullptr ? DownloadCommand(request, log, &report)
                                            : EraseCommand(request, &report);
    const double takenMs = ElapsedMs() - report.atMs;
    if (fault || report.atMs < 0) {
      std::fprintf(stderr, "%s did not run\n", run.what);
      continue;
    }
    Row(std::string("Estimate / time taken, ") + run.what +
            Format(" (%.0f ms / %.0f ms)", report.msLeft, takenMs),
        Format("%.4f", report.msLeft / takenMs), "within 0.90 to 1.10");
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  StartClock();
  if (argc == 2 && std::isdigit(static_cast<unsigned char>(argv[1][0]))) {
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

  if (argc == 2) {
    LineCheckCost();
    EstimateAgainstTime(argv[1]);
  }
  return 0;
}
