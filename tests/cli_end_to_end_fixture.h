// The real flash89-cli, run as a Makefile would run it, with the fake
// serial device preloaded at the operating system's boundary, and where the
// cable brings MISO back to CTS, on COM2's own lines or an FTDI adapter.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "image/hex_output.h"
#include "line_states.h"
#include "sim/chip_model.h"
#include "sim/chip_options.h"
#include "sim/trace_file.h"
#include "temp_files.h"

extern char** environ;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// How a shell reports the end of a program: its exit status, or 128 and
// the signal that ended it.
int ShellStatus(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

struct Finished {
  int status;
  std::string out;
  std::string err;
};

class CliEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    cli_ = Env("FLASH89_CLI");
    preload_ = Env("FLASH89_PRELOAD");
    ASSERT_FALSE(cli_.empty() || preload_.empty()) << "run through ctest";
    std::ofstream{Com2()};  // present; COM1 is absent
  }

  std::string Com1() const { return folder_.Path("com1"); }
  std::string Com2() const { return folder_.Path("com2"); }

  // Standard output goes to a file, or to the given descriptor.
  pid_t Start(const std::vector<std::string>& arguments, int out = -1) {
    std::vector<std::string> environment = {
        "LD_PRELOAD=" + preload_ + extraPreload_,
        "FLASH89_FAKE_SERIAL=" + Com1() + "," + Com2() + com2Cable_,
        "FLASH89_FAKE_TRACE=" + folder_.Path("trace"),
        "FLASH89_COM1=" + Com1(),
        "FLASH89_COM2=" + Com2(),
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0",
        // Whatever the program keeps on disk stays in the test's folder.
        "TMPDIR=" + folder_.Path(""),
    };
    environment.insert(environment.end(), extraEnvironment_.begin(), extraEnvironment_.end());
    for (char** variable = environ; *variable != nullptr; ++variable) {
      const std::string entry = *variable;
      if (entry.starts_with("PATH=") || entry.starts_with("HOME=")) environment.push_back(entry);
    }
    std::vector<std::string> argv = {cli_};
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (out >= 0) {
      posix_spawn_file_actions_adddup2(&files, out, STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, folder_.Path("out").c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, folder_.Path("err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argvPointers, environmentPointers;
    for (std::string& argument : argv) argvPointers.push_back(argument.data());
    argvPointers.push_back(nullptr);
    for (std::string& entry : environment) environmentPointers.push_back(entry.data());
    environmentPointers.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, cli_.c_str(), &files, nullptr, argvPointers.data(),
                                   environmentPointers.data());
    posix_spawn_file_actions_destroy(&files);
    EXPECT_EQ(failed, 0);
    return pid;
  }

  Finished Wait(pid_t pid) {
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return {ShellStatus(status), ReadWhole(folder_.Path("out")), ReadWhole(folder_.Path("err"))};
  }

  Finished Run(const std::vector<std::string>& arguments) { return Wait(Start(arguments)); }

  std::vector<TraceRecord> TraceOf(const std::string& device) const {
    std::vector<TraceRecord> records;
    for (TraceRecord& record : ReadTrace(folder_.Path("trace"))) {
      if (record.device == device) records.push_back(std::move(record));
    }
    return records;
  }

  // The chip as the fake port's options (its cable's and its own) made it,
  // after every line change it saw.
  ChipModel ChipOn(const std::string& device, const std::string& trace = "trace",
                   const std::string& options = "") const {
    ChipModel chip;
    EXPECT_TRUE(ApplyChipOptions(options, chip)) << options;
    chip.Feed(LineEventsOf(ReadTrace(folder_.Path(trace)), device));
    EXPECT_TRUE(chip.Violations().empty()) << chip.Report();
    return chip;
  }

  static std::array<std::uint8_t, ChipModel::kFlashSize> ErasedFlashWith(const std::string& image) {
    std::array<std::uint8_t, ChipModel::kFlashSize> flash{};
    flash.fill(0xFF);
    std::copy(image.begin(), image.end(), flash.begin());
    return flash;
  }

  static bool IsLineSwitch(const TraceRecord& record) {
    return record.call == "TIOCMBIS" || record.call == "TIOCSBRK" || record.call == "TIOCCBRK";
  }

  TempFolder folder_;
  std::string cli_;
  std::string preload_;
  std::string com2Cable_;  // the fake port's options for its line back to CTS
  std::string extraPreload_;
  std::vector<std::string> extraEnvironment_;
};

// Where the cable brings MISO back to CTS.
// The same cable on COM2's own lines, or on an FTDI adapter behind its tty
// (the fake adapters preloaded after the fake device), under either baud
// multiplier: there the chip sits on the adapter's pins.
enum class ReadPath { SerialPort, AdapterBy16, AdapterBy4 };

class CliReadBack : public CliEndToEnd, public testing::WithParamInterface<ReadPath> {
 protected:
  void SetUp() override {
    CliEndToEnd::SetUp();
    if (GetParam() == ReadPath::SerialPort) return;
    ftdiPreload_ = Env("FLASH89_FTDI_PRELOAD");
    if (ftdiPreload_.empty()) GTEST_SKIP() << "built without the FTDI adapter";
  }

  Finished RunOnCable(const std::string& cable, const std::vector<std::string>& arguments) {
    cable_ = cable;
    // Behind an adapter the tty's own CTS brings nothing back: only the
    // adapter's pins can answer.
    com2Cable_ = GetParam() == ReadPath::SerialPort ? cable : "";
    if (GetParam() != ReadPath::SerialPort) {
      extraPreload_ = " " + ftdiPreload_;
      const char* multiplier = GetParam() == ReadPath::AdapterBy16 ? ":16" : ":4";
      extraEnvironment_ = {
          "FLASH89_FAKE_FTDI=" + Com2() + multiplier,
          "FLASH89_FAKE_FTDI_TRACE=" + folder_.Path("adapter-trace"),
          "FLASH89_FAKE_FTDI_CABLE=" + cable.substr(cable.empty() ? 0 : 1),
          "FLASH89_FAKE_FTDI_FLASH=" + folder_.Path("adapter-flash"),
      };
    }
    return Run(arguments);
  }

  // The chip at the end of the cable, from every line change it saw.
  ChipModel Chip() const {
    if (GetParam() == ReadPath::SerialPort) return ChipOn(Com2(), "trace", cable_);
    return ChipOn("ftdi:com2", "adapter-trace", cable_);
  }

  std::string ftdiPreload_;
  std::string cable_;
};

}  // namespace
