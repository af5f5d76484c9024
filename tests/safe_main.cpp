// Every test program starts here: it refuses to run unless both COM ports
// are pointed at fake devices, so that no test can switch the lines of a
// real port (on many machines /dev/ttyS0 is the system console).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool IsFakePort(const char* variable) {
  const char* path = std::getenv(variable);
  if (path == nullptr || *path == '\0') {
    std::fprintf(stderr, "%s is not set: point it at a fake serial device.\n", variable);
    return false;
  }
  const std::string device(path);
  if (device.rfind("/dev/ttyS", 0) == 0 || device == "/dev/console") {
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
