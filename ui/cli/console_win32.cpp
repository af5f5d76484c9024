#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "commands/cancel.h"
#include "ui/cli/console.h"
#include "ui/cli/exit_status.h"

namespace {

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  static volatile LONG seen = 0;
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The second one goes on to the default handler, which ends the program.
  if (InterlockedExchange(&seen, 1) != 0) return FALSE;
  RequestCancel();
  return TRUE;
}

UINT originalOutputCodePage = 0;

void RestoreOutputCodePage() { SetConsoleOutputCP(originalOutputCodePage); }

}  // namespace

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

void EndAsInterrupted() { std::exit(kExitInterrupted); }

// Only a console: _isatty also says yes for the NUL device.
bool ErrorStreamIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool OutputStreamIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void PrepareConsoleOutput() {
  // The console keeps its code page after the program: give it back.
  originalOutputCodePage = GetConsoleOutputCP();
  if (originalOutputCodePage != 0 && SetConsoleOutputCP(CP_UTF8))
    std::atexit(RestoreOutputCodePage);
}
