#include "sim/fake_sysfs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace fake_sysfs {
namespace {

// One tree per process, named after it and removed when it ends.
struct Tree {
  fs::path root;
  pid_t owner = 0;
  ~Tree() {
    // A forked child that exits leaves its parent's tree alone.
    if (owner != ::getpid()) return;
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
};
Tree tree;

// The destructor above runs only when the process exits normally, not when
// a signal ends it (the window that a test script stops, a test that hits
// its timeout), nor after _exit or abort (a forked child, a death test, the
// preloaded fake refusing a real device). So a shell waits for end of file
// on a pipe whose writing end only this process holds, which comes when the
// process is gone however it ended, and then removes the tree. It keeps none
// of the process's files (a tty's lock lives as long as any copy of its
// descriptor) and runs in a session of its own, out of reach of the signal
// that ends the process's group.
void RemoveWhenThisProcessEnds(const fs::path& root) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, ends[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&files, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  std::string shell = "sh", option = "-c", folder = root.string();
  std::string script = "trap '' INT TERM HUP; read _; exec rm -rf -- \"$0\"";
  char* arguments[] = {shell.data(), option.data(), script.data(), folder.data(), nullptr};
  // Nothing preloaded into the shell: no fake device or adapter.
  std::string path = "PATH=/usr/bin:/bin";
  char* environment[] = {path.data(), nullptr};
  pid_t watcher = 0;
  if (posix_spawn(&watcher, "/bin/sh", &files, &attributes, arguments, environment) != 0) {
    ::close(ends[1]);
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&files);
  ::close(ends[0]);
  // ends[1] stays open for the rest of the process's life.
}

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << '\n';
}

}  // namespace

void Reset() {
  if (tree.owner != ::getpid()) {
    tree.owner = ::getpid();
    tree.root = fs::temp_directory_path() / ("flash89-sysfs-" + std::to_string(tree.owner));
    RemoveWhenThisProcessEnds(tree.root);
  }
  std::error_code ignored;
  fs::remove_all(tree.root, ignored);
  fs::create_directories(tree.root / "class/tty");
}

std::string Root() { return tree.root.string(); }

void AddUsbSerial(const std::string& ttyName, int bus, int address, int interfaceNumber,
                  const std::string& driver) {
  const std::string device = std::to_string(bus) + "-" + std::to_string(address);
  const fs::path usb = tree.root / "devices/pci0000:00/usb" / std::to_string(bus) / device;
  Write(usb / "busnum", std::to_string(bus));
  Write(usb / "devnum", std::to_string(address));
  Write(usb / "idVendor", "0403");
  const fs::path interface = usb / (device + ":1." + std::to_string(interfaceNumber));
  char number[8];
  std::snprintf(number, sizeof number, "%02x", interfaceNumber);
  Write(interface / "bInterfaceNumber", number);
  const fs::path port = interface / ttyName;
  fs::create_directories(port);
  // As the kernel has it: the usb-serial layer's port and, above it, the
  // USB interface, each bound to the chip's driver.
  const fs::path serialDriver = tree.root / "bus/usb-serial/drivers" / driver;
  const fs::path usbDriver = tree.root / "bus/usb/drivers" / driver;
  fs::create_directories(serialDriver);
  fs::create_directories(usbDriver);
  fs::create_symlink(serialDriver, port / "driver");
  fs::create_symlink(usbDriver, interface / "driver");
  const fs::path tty = tree.root / "class/tty" / ttyName;
  fs::create_directories(tty);
  fs::create_directory_symlink(port, tty / "device");
}

void AddPlainTty(const std::string& ttyName, bool uartFound) {
  const fs::path port = tree.root / "devices/platform/serial8250" / ttyName;
  fs::create_directories(port);
  const fs::path driver = tree.root / "bus/platform/drivers/serial8250";
  fs::create_directories(driver);
  std::error_code alreadyThere;
  fs::create_symlink(driver, port.parent_path() / "driver", alreadyThere);
  const fs::path tty = tree.root / "class/tty" / ttyName;
  fs::create_directories(tty);
  fs::create_directory_symlink(port, tty / "device");
  // The serial core's port type: a 16550A, or none for a port it keeps
  // without a UART.
  Write(tty / "type", uartFound ? "4" : "0");
}

void AddVirtualTty(const std::string& ttyName) {
  fs::create_directories(tree.root / "class/tty" / ttyName);
}

}  // namespace fake_sysfs
