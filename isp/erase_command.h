#pragma once

// Erases the chip on the port that selectedPort names (1 or 2). Throws a
// CommandError with the user's text when the port is missing or lost.
void EraseCommand(int selectedPort);
