// Stopping a running sequence from outside it, from a signal handler say.
#pragma once

// Thrown before an instruction when a cancel has been requested. The
// instruction before it has had its whole wait, so no write cycle or erase
// is cut short.
struct Cancelled {};

// Asks the running sequence to stop before its next instruction. Safe to
// call from a signal handler or another thread: one lock-free store. The
// request stands until it is withdrawn.
void RequestCancel();
void WithdrawCancel();
bool CancelRequested();
