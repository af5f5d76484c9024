#include "commands/cancel.h"

#include "isp/isp.h"

void CancelCommand() { RequestCancel(); }
bool CommandCancelRequested() { return CancelRequested(); }
void WithdrawCommandCancel() { WithdrawCancel(); }
