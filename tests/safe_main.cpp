// Every test program starts here: it refuses to run unless both COM ports
// are pointed at fake devices, so that no test can switch the lines of a
// real port (on many machines /dev/ttyS0 is the system console).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Built-in ports, USB adapters, ARM boards' ports, Bluetooth serial links.
bool IsRealSerialDevice(const std::string& device) {
  for (const char* prefix :
       {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM", "/dev/ttyAMA", "/dev/rfcomm", "/dev/serial/"}) {
    if (device.rfind(prefix, 0) == 0) return true;
  }
  return device == "/dev/console";
}

bool IsFakePort(const char* variable) {
  const char* path = std::getenv(variable);
  if (path == nullptr || *path == '\0') {
    std::fprintf(stderr, "%s is not set: point it at a fake serial device.\n", variable);
    return false;
  }
  std::error_code ignored;
  const std::string resolved = std::filesystem::weakly_canonical(path, ignored).string();
  if (IsRealSerialDevice(path) || IsRealSerialDevice(resolved)) {
    std::fprintf(stderr, "%s names the real device %s: refusing to run.\n", variable, path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests runs none of them.
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (!IsFakePort("FLASH89_COM1") || !IsFakePort("FLASH89_COM2")) return 2;
  return RUN_ALL_TESTS();
}
