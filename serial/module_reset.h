// The serial module as a program has it when it starts.
#pragma once

// Back to that state: no port held, the serial port's lines, no failure
// recorded, no idle work, the clock's initial values. For tests.
void ResetSerialModule();
