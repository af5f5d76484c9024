#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "commands/cancel.h"
#include "ui/cli/console.h"
#include "ui/cli/exit_status.h"

namespace {

volatile std::sig_atomic_t caughtSignal = 0;

void OnInterrupt(int signal) {
  caughtSignal = signal;
  RequestCancel();
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The second signal finds the default action again and ends the program.
  // A system call that the signal interrupts goes on: the command stops at
  // its next instruction, not with a port that seems to have gone.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // A write to a closed pipe fails instead of killing the program with the
  // chip held in reset.
  std::signal(SIGPIPE, SIG_IGN);
}

void EndAsInterrupted() {
  const int signal = caughtSignal != 0 ? static_cast<int>(caughtSignal) : SIGINT;
  std::signal(signal, SIG_DFL);
  raise(signal);
  _exit(kExitInterrupted);
}

bool ErrorStreamIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool OutputStreamIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void PrepareConsoleOutput() {}
