// The clock, the waits, the bit transfer on the in-process fake device, the
// downloads through the real window (offscreen, live repaint included) and
// the program's start-up. Prints rows of the benchmark table.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <array>
#include <cstdlib>
#include <fstream>

#include "bench/measure.h"
#include "commands/commands.h"
#include "commands/readback_commands.h"
#include "isp/isp.h"
#include "serial/rezero.h"
#include "sim/fake_serial.h"
#include "ui/qt/form1.h"

extern char** environ;

namespace {

void ClockReadingCost() {
  std::vector<double> perReading;
  volatile double sink = 0;
  for (int batch = 0; batch < 200; ++batch) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10'000; ++i) sink = sink + ElapsedMs();
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    perReading.push_back(took.count() / 10'000);
  }
  Row("ElapsedMs, median per reading", Format("%.1f ns", Percentile(perReading, 0.5)), "< 50 ns");
}

// How often the core is taken away from a spinning program, and for how
// long: this sets the tail of the short waits, whatever the program does.
void MachineInterruptions(const IndependentClock& clock) {
  std::vector<double> gapsUs;
  const double start = clock.NowNs();
  double previous = start;
  while (previous - start < 1e9) {
    const double now = clock.NowNs();
    if (now - previous > 2000) gapsUs.push_back((now - previous) / 1e3);
    previous = now;
  }
  Row("Machine: interruptions of a spinning core over 2 us, in 1 s: count; median / max length",
      Format("%.0f; %.1f / %.1f us", static_cast<double>(gapsUs.size()), Percentile(gapsUs, 0.5),
             gapsUs.empty() ? 0.0 : *std::max_element(gapsUs.begin(), gapsUs.end())),
      "(the machine's, not the program's)");
}

void WaitFidelity(const IndependentClock& clock) {
  const std::array<std::pair<double, int>, 4> waits{
      {{0.01, 20'000}, {0.1, 10'000}, {1, 10'000}, {5, 1'000}}};
  for (const auto& [durationMs, samples] : waits) {
    std::vector<double> overshootUs;
    overshootUs.reserve(static_cast<std::size_t>(samples));
    int early = 0;
    for (int i = 0; i < samples; ++i) {
      const double before = clock.NowNs();
      WaitMs(durationMs);
      const double tookNs = clock.NowNs() - before;
      if (tookNs < durationMs * 1e6) ++early;
      overshootUs.push_back((tookNs - durationMs * 1e6) / 1e3);
    }
    Row(Format("WaitMs(%g), %.0f waits: early; overshoot median / p99 / max", durationMs, samples),
        Format("%.0f; %.2f / %.2f / %.1f us", early, Percentile(overshootUs, 0.5),
               Percentile(overshootUs, 0.99),
               *std::max_element(overshootUs.begin(), overshootUs.end())),
        durationMs == 0.01 ? "0 early; median < 1 us, p99 < 5 us" : "0 early");
  }
}

void BitTransfer() {
  fake_serial::Reset();
  fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
  OpenPort("COM2:9600,N,8,1");
  constexpr int kBytes = 2000;
  std::vector<double> ratios;
  for (int round = 0; round < 5; ++round) {
    const double start = ElapsedMs();
    for (int i = 0; i < kBytes; ++i) SendIspByte(static_cast<std::uint8_t>(i));
    ratios.push_back((ElapsedMs() - start) / (kBytes * kByteWaitsMs));
    fake_serial::Reset();
    fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
    OpenPort("COM2:9600,N,8,1");
  }
  ClosePort();
  Row("SendIspByte / its waits, in-process fake device (median of 5 x 2000 bytes)",
      Format("%.4f", Percentile(ratios, 0.5)), "<= 1.05");
}

void EraseTime() {
  fake_serial::Reset();
  fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
  constexpr double kEraseWaitsMs = 10 + 100 + 10 + 100 + 200 + 8 * kByteWaitsMs;
  const double start = ElapsedMs();
  EraseCommand({.port = "COM2"});
  const double took = ElapsedMs() - start;
  Row(Format("Erase: time / waits (%.1f ms / %.1f ms)", took, kEraseWaitsMs),
      Format("%.4f", took / kEraseWaitsMs), "");
}

class AnswerWith : public FormDialogs {
 public:
  QString AskFileName(QWidget*, const QString&) override { return file; }
  void ShowErrorBox(QWidget*, const QString&, const QString& text) override {
    std::fprintf(stderr, "error box: %s\n", text.toUtf8().constData());
  }
  QString file;
};

std::size_t DataBytes(const std::string& path, bool hex) {
  std::ifstream in(path, std::ios::binary);
  std::size_t bytes = 0;
  if (!hex) {
    in.seekg(0, std::ios::end);
    return static_cast<std::size_t>(in.tellg());
  }
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > 9 && line.compare(7, 2, "00") == 0)
      bytes += std::stoul(line.substr(1, 2), nullptr, 16);
  }
  return bytes;
}

void Downloads(const std::string& images) {
  fake_serial::Reset();
  fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
  AnswerWith dialogs;
  TForm1 form(&dialogs);
  form.show();
  QApplication::processEvents();
  for (const bool hex : {true, false}) {
    dialogs.file = QString::fromStdString(images + (hex ? "/big_1k.hex" : "/big_1k.bin"));
    const std::size_t bytes = DataBytes(dialogs.file.toStdString(), hex);
    const double waits =
        kEnterWaitsMs + static_cast<double>(bytes) * (hex ? kHexByteWaitsMs : kBinByteWaitsMs);
    const double start = ElapsedMs();
    if (hex) {
      form.FlashHexClick();
    } else {
      form.FlashBinClick();
    }
    const double took = ElapsedMs() - start;
    Row(Format(hex ? "Flash hex, %.0f bytes: time / waits (%.0f ms / %.0f ms)"
                   : "Flash bin, %.0f bytes: time / waits (%.0f ms / %.0f ms)",
               static_cast<double>(bytes), took, waits),
        Format("%.4f", took / waits), "<= 1.01");
    fake_serial::Reset();
    fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
  }
}

void StartUp(const std::string& probe) {
  std::vector<double> startMs;
  long peakKb = 0;
  for (int run = 0; run < 7; ++run) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    char* argv[] = {const_cast<char*>(probe.c_str()), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, probe.c_str(), &actions, nullptr, argv, environ) != 0) return;
    close(out[1]);
    char text[64] = {};
    const auto length = read(out[0], text, sizeof text - 1);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    long long shownNs = 0, maxRssKb = 0;
    if (length <= 0 || std::sscanf(text, "%lld %lld", &shownNs, &maxRssKb) != 2) return;
    const auto startNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
    startMs.push_back(static_cast<double>(shownNs - startNs) / 1e6);
    peakKb = std::max(peakKb, static_cast<long>(maxRssKb));
  }
  Row("Start-up to window shown, offscreen (median of 7)",
      Format("%.0f ms", Percentile(startMs, 0.5)), "< 500 ms");
  Row("Peak resident memory of the window process",
      Format("%.1f MB", static_cast<double>(peakKb) / 1024), "< 60 MB");
}

}  // namespace

// Reading the chip back where the cable brings MISO to CTS: the signature,
// and the whole 12 KB flash page by page, which has no write waits: its
// floor is the bit phases of 192 pages of 67 bytes after the 210 ms that
// enable programming.
void ReadBack() {
  fake_serial::Reset();
  fake_serial::SetDevice("COM2", fake_serial::DeviceState::Present);
  fake_serial::LineBehaviour cable;
  cable.cable = fake_serial::Cable::MisoOnCts;
  fake_serial::SetLineBehaviour("COM2", cable);
  constexpr double kEnableMs = 100 + 100 + 10;
  std::array<std::uint8_t, 3> signature{};
  double start = ElapsedMs();
  const bool found = !DetectCommand({.port = "COM2"}, signature);
  Row(found ? "detect, in-process fake device: time" : "detect: NO ANSWER",
      Format("%.0f ms", ElapsedMs() - start), "");
  const std::string file = "/tmp/flash89-bench-readout.bin";
  constexpr double kFloorMs = kEnableMs + 192 * 67 * 8 * 3 * 0.01;
  start = ElapsedMs();
  const bool read = !ReadCommand({.port = "COM2", .file = FileNamed(file)});
  const double readMs = ElapsedMs() - start;
  start = ElapsedMs();
  const bool verified = !VerifyCommand({.port = "COM2", .file = FileNamed(file)});
  const double verifyMs = ElapsedMs() - start;
  std::remove(file.c_str());
  Row(Format(read ? "read, 12 KB, in-process fake device: time / floor (%.0f ms / %.0f ms)"
                  : "read FAILED (%.0f ms / %.0f ms)",
             readMs, kFloorMs),
      Format("%.4f", readMs / kFloorMs), "");
  Row(Format(verified ? "verify, 12 KB, in-process fake device: time / floor (%.0f ms / %.0f ms)"
                      : "verify FAILED (%.0f ms / %.0f ms)",
             verifyMs, kFloorMs),
      Format("%.4f", verifyMs / kFloorMs), "");
}

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TEST-IMAGES-FOLDER STARTUP-PROBE\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  StartClock();
  const IndependentClock clock;
  ClockReadingCost();
  MachineInterruptions(clock);
  WaitFidelity(clock);
  BitTransfer();
  EraseTime();
  ReadBack();
  Downloads(argv[1]);
  StartUp(argv[2]);
  return 0;
}
