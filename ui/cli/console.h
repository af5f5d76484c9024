// What flash89-cli needs of its console, one implementation per platform.
#pragma once

// Ctrl+C, and a request to end the program, cancel the running command:
// it stops before its next instruction to the chip, releases the lines and
// closes the port. A second one ends the program at once. A reader that
// went away (a closed pipe) does not end it either.
void InstallInterruptHandler();

// After a command was cancelled: ends the program as the interrupt would
// have ended it, so that a calling shell or make stops as well. A shell
// reports status 130 for Ctrl+C.
[[noreturn]] void EndAsInterrupted();

bool ErrorStreamIsTerminal();
bool OutputStreamIsTerminal();

// Lets the console show the program's UTF-8 texts.
void PrepareConsoleOutput();
