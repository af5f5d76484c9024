// Stopping a running command from outside it, from a signal handler say:
// it stops before its next instruction, with the lines released, and ends
// with the fault PortFaultKind::Cancelled.
#pragma once

// Safe to call from a signal handler.
void CancelCommand();
bool CommandCancelRequested();
// Lets the next command run to its end again.
void WithdrawCommandCancel();
