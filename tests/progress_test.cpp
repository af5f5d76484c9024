// How far a command has got and how long it has still to go: the estimate
// from the waits and the measured switch costs against the time it really
// takes, on a fast port and on one that takes 1 ms a switch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "commands/command_plan.h"
#include "commands/commands.h"
#include "commands/progress_meter.h"
#include "commands/readback_commands.h"
#include "commands/text_log.h"
#include "fake_chip_fixture.h"
#include "temp_files.h"

using fake_serial::DeviceState;

namespace {

struct Report {
  double atMs;
  CommandProgress progress;
};

class RecordingListener : public ProgressListener {
 public:
  void OnProgress(const CommandProgress& progress) override {
    reports.push_back({ElapsedMs(), progress});
  }
  std::vector<Report> reports;
};

struct CommandCase {
  const char* name;  // as a test's name
  std::optional<Fault> (*run)(ProgressListener*);
  std::size_t bytes;
};

std::optional<Fault> Erase(ProgressListener* listener) {
  return EraseCommand({.port = "COM2"}, listener);
}

std::optional<Fault> HexOfOneKilobyte(ProgressListener* listener) {
  TextLog log;
  return DownloadCommand({.file = FileNamed(TestImage("big_1k.hex"))}, log, listener);
}

std::optional<Fault> BinOfOneKilobyte(ProgressListener* listener) {
  TextLog log;
  return DownloadCommand(
      {.file = FileNamed(TestImage("big_1k.bin")), .format = ImageFormat::Binary}, log, listener);
}

// Reads have no long waits: the progress comes between page reads.
std::optional<Fault> ReadWholeFlash(ProgressListener* listener) {
  const TempFolder folder;
  return ReadCommand({.file = FileNamed(folder.Path("out.bin"))}, listener);
}

// One byte in each of 150 pages: the read-back is most of the command.
std::string SparseHexText() {
  std::string text;
  for (unsigned page = 0; page < 150; ++page) {
    const unsigned address = page * 64;
    const unsigned sum = 0x100 - ((1 + (address >> 8) + (address & 0xFF) + 0x5A) & 0xFF);
    char record[32];
    std::snprintf(record, sizeof record, ":01%04X005A%02X\n", address, sum & 0xFF);
    text += record;
  }
  return text + ":00000001FF\n";
}

std::optional<Fault> VerifiedSparseHex(ProgressListener* listener, bool pages) {
  const TempFolder folder;
  const std::string file = folder.Write("sparse.hex", SparseHexText());
  TextLog log;
  return DownloadCommand({.file = FileNamed(file),
                          .mode = pages ? WriteMode::Pages : WriteMode::Bytes,
                          .verify = true},
                         log, listener);
}

const CommandCase kCommands[] = {
    {"Erase", Erase, 0},
    {"FlashHexOneKilobyte", HexOfOneKilobyte, 1024},
    {"FlashBinOneKilobyte", BinOfOneKilobyte, 1024},
    {"ReadTwelveKilobytes", ReadWholeFlash, 12288},
    {"HexVerifiedSparsePages", [](ProgressListener* l) { return VerifiedSparseHex(l, false); },
     150},
    {"HexPagesVerifiedSparsePages", [](ProgressListener* l) { return VerifiedSparseHex(l, true); },
     150},
};

}  // namespace

// Each command on a port whose switches cost nothing, and on one where they
// take 1 ms.
class Progress : public FakeChipTest,
                 public testing::WithParamInterface<std::tuple<CommandCase, std::int64_t>> {
 protected:
  void SetUp() override {
    FakeChipTest::SetUp();
    // A PC reads its clock in some 30 ns: the short phases that a chip
    // which answers is clocked at are not stretched by the readings.
    if (std::get<1>(GetParam()) == 0) virtual_counter::Reset(30);
    fake_serial::SetDevice("COM2", DeviceState::Present);
    fake_serial::SetLineBehaviour(
        "COM2", {.switchCostNs = std::get<1>(GetParam()), .cable = Cable::MisoOnCts});
  }
  static const CommandCase& Command() { return std::get<0>(GetParam()); }
};

TEST_P(Progress, EstimateLiesWithinTenPercentOfTheTimeTaken) {
  const CommandCase& command = Command();
  RecordingListener listener;
  ASSERT_EQ(command.run(&listener), std::nullopt);
  const double endedMs = ElapsedMs();
  ASSERT_FALSE(listener.reports.empty());
  // From the first report, at the command's first long wait, to its end.
  const Report& first = listener.reports.front();
  EXPECT_LT(first.progress.fractionDone, 0.01);
  const double takenMs = endedMs - first.atMs;
  EXPECT_NEAR(first.progress.msLeft, takenMs, takenMs * 0.10)
      << "estimate " << first.progress.msLeft << " ms, taken " << takenMs << " ms";
  EXPECT_TRUE(ChipOn("COM2").Violations().empty());
}

TEST_P(Progress, ShareDoneRisesAndTimeLeftFallsAsTheCommandRuns) {
  const CommandCase& command = Command();
  RecordingListener listener;
  ASSERT_EQ(command.run(&listener), std::nullopt);
  const auto& reports = listener.reports;
  ASSERT_GE(reports.size(), 3u);
  for (std::size_t i = 1; i < reports.size(); ++i) {
    EXPECT_GE(reports[i].atMs - reports[i - 1].atMs, kProgressIntervalMs);
    EXPECT_GT(reports[i].progress.fractionDone, reports[i - 1].progress.fractionDone);
    EXPECT_LT(reports[i].progress.msLeft, reports[i - 1].progress.msLeft);
    EXPECT_GE(reports[i].progress.bytesDone, reports[i - 1].progress.bytesDone);
    EXPECT_EQ(reports[i].progress.bytesTotal, command.bytes);
  }
  EXPECT_GT(reports.back().progress.fractionDone, 0.5);
  // No phase goes unreported: the last report is close to the end.
  const double takenMs = ElapsedMs() - reports.front().atMs;
  EXPECT_LE(ElapsedMs() - reports.back().atMs, std::max(takenMs * 0.1, 3 * kProgressIntervalMs));
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, Progress,
                         testing::Combine(testing::ValuesIn(kCommands),
                                          testing::Values(std::int64_t{0},
                                                          std::int64_t{1'000'000})),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == 0 ? "FreeSwitches"
                                                                : "OneMillisecondSwitches");
                         });
