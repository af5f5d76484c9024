#include <QApplication>
#include <cstdio>
#include <string_view>

#include "ui/qt/form1.h"

#ifndef FLASH89_VERSION
#error "FLASH89_VERSION must name the program's version"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: flash89\n"
    "Opens the window that erases an AT89S8253 and writes an Intel HEX or binary\n"
    "image into its flash; flash89-cli does the same from a shell.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n";

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before Qt starts, which needs a display and aborts without one.
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-h" || argument == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "-V" || argument == "--version") {
      std::puts("flash89 " FLASH89_VERSION);
      return 0;
    }
  }
  QApplication application(argc, argv);
  TForm1 Form1;
  Form1.show();
  return QApplication::exec();
}
