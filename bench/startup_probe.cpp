// The program's start, as app/main.cpp does it, reporting when the window
// has been shown and the process's peak resident memory, then quitting.
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "ui/qt/form1.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  TForm1 Form1;
  Form1.show();
  QTimer::singleShot(0, [] {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld %ld\n", static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec,
                usage.ru_maxrss);
    std::fflush(stdout);
    QApplication::quit();
  });
  return QApplication::exec();
}
