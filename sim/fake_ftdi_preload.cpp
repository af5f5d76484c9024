// FTDI adapters behind fake serial devices, for the real Linux programs,
// which know nothing of the fake. Preloaded after the fake serial device:
//   FLASH89_FAKE_FTDI=PATH:4,PATH:16   an adapter behind the fake tty at
//                                      each path, with its samples per baud
//   FLASH89_FAKE_FTDI_TRACE=FILE       where their pin changes go
//                                      (fake_ftdi::TraceClosesTo), on the
//                                      device "ftdi:NAME" for the tty NAME
//   FLASH89_FAKE_FTDI_CABLE=OPTIONS    their line back to CTS# and their
//                                      chip ("cts=miso:weak=5:fuses=0x0E",
//                                      fake_ftdi::ApplyCableOptions)
//   FLASH89_FAKE_FTDI_FLASH=FILE       where their chip keeps its flash,
//                                      EEPROM, user row, fuses and lock
//                                      bits between programs
// Its libftdi functions take the place of libftdi's, and a sysfs tree of
// its own stands in for /sys/class/tty/NAME of those ttys alone, so that
// the program finds an FTDI chip behind them. It runs in real time and
// knows no real device: every other path and every USB call stays the
// operating system's, and libftdi itself is never called.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "sim/fake_ftdi_device.h"
#include "sim/fake_sysfs.h"

namespace {

constexpr char kTtyClass[] = "/sys/class/tty/";
constexpr int kFirstAddress = 20;

std::vector<std::string> fakedTtys;
std::once_flag configured;

std::string TtyName(const std::string& path) {
  char resolved[PATH_MAX];
  const std::string followed = ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
  return followed.substr(followed.find_last_of('/') + 1);
}

// On the first look at a tty's sysfs node, after every static object of
// the program and of this library is made.
void Configure() {
  const char* setting = std::getenv("FLASH89_FAKE_FTDI");
  if (setting == nullptr) return;
  fake_sysfs::Reset();
  int address = kFirstAddress;
  for (const fake_ftdi::NamedAdapter& named : fake_ftdi::AdaptersNamedIn(setting)) {
    const std::string name = TtyName(named.port);
    if (name.empty()) continue;
    // Only a fake tty may have an adapter faked behind it: the program
    // opens the tty before it looks for the adapter.
    char resolved[PATH_MAX];
    const char* followed = ::realpath(named.port.c_str(), resolved);
    if (named.port.rfind("/dev/", 0) == 0 ||
        (followed != nullptr && std::strncmp(followed, "/dev/", 5) == 0)) {
      std::fprintf(stderr, "fake FTDI adapters: refusing %s, a real device\n", named.port.c_str());
      std::abort();
    }
    fake_ftdi::AdapterTraits traits;
    traits.address = address++;
    traits.samplesPerBaud = named.samplesPerBaud;
    if (const char* cable = std::getenv("FLASH89_FAKE_FTDI_CABLE")) {
      fake_ftdi::ApplyCableOptions(cable, traits);
    }
    std::snprintf(traits.traceName, sizeof traits.traceName, "ftdi:%s", name.c_str());
    fake_sysfs::AddUsbSerial(name, traits.bus, traits.address, 0, "ftdi_sio");
    fake_ftdi::AddAdapter(traits);
    fakedTtys.push_back(name);
  }
  if (const char* trace = std::getenv("FLASH89_FAKE_FTDI_TRACE")) fake_ftdi::TraceClosesTo(trace);
  if (const char* flash = std::getenv("FLASH89_FAKE_FTDI_FLASH")) fake_ftdi::KeepChipIn(flash);
}

// The path in the tree of this library for a faked tty's sysfs node, or
// the path itself.
std::string Redirected(const char* path) {
  if (path == nullptr || std::strncmp(path, kTtyClass, sizeof kTtyClass - 1) != 0) return {};
  std::call_once(configured, Configure);
  const char* name = path + sizeof kTtyClass - 1;
  const std::size_t length = std::strcspn(name, "/");
  for (const std::string& tty : fakedTtys) {
    if (tty.size() == length && tty.compare(0, length, name, length) == 0) {
      return fake_sysfs::Root() + "/class/tty/" + (name);
    }
  }
  return {};
}

template <class Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

char* realpath(const char* path, char* resolved) noexcept {
  static const auto next = Next<char* (*)(const char*, char*)>("realpath");
  const std::string redirected = Redirected(path);
  return next(redirected.empty() ? path : redirected.c_str(), resolved);
}

int stat(const char* path, struct stat* status) noexcept {
  static const auto next = Next<int (*)(const char*, struct stat*)>("stat");
  const std::string redirected = Redirected(path);
  return next(redirected.empty() ? path : redirected.c_str(), status);
}

int lstat(const char* path, struct stat* status) noexcept {
  static const auto next = Next<int (*)(const char*, struct stat*)>("lstat");
  const std::string redirected = Redirected(path);
  return next(redirected.empty() ? path : redirected.c_str(), status);
}

ssize_t readlink(const char* path, char* buffer, std::size_t size) noexcept {
  static const auto next = Next<ssize_t (*)(const char*, char*, std::size_t)>("readlink");
  const std::string redirected = Redirected(path);
  return next(redirected.empty() ? path : redirected.c_str(), buffer, size);
}

}  // extern "C"
