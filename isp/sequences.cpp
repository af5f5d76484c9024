#include "isp/isp.h"
#include "serial/rezero.h"

void EnableProgramming() {
  SetRtsLine(true);
  WaitMs(100);
  SetDtrLine(true);
  WaitMs(100);
  SendIspInstruction(kProgrammingEnable);
  WaitMs(10);
}

void EnterProgramming() {
  EnableProgramming();
  SendIspInstruction(kChipErase);
  WaitMs(10);
  SetDtrLine(false);
  WaitMs(500);
  SetRtsLine(true);
  WaitMs(10);
  SetDtrLine(true);
  WaitMs(100);
  // No wait after it: the first write follows at once.
  SendIspInstruction(kProgrammingEnable);
}

void FinishProgramming() {
  SetTxdLine(false);
  SetDtrLine(false);
  SetRtsLine(false);
}

void EraseChip() {
  SetRtsLine(true);
  WaitMs(10);
  SetDtrLine(true);
  WaitMs(100);
  SendIspInstruction(kProgrammingEnable);
  WaitMs(10);
  SendIspInstruction(kChipErase);
  WaitMs(100);
  SetDtrLine(false);
  WaitMs(200);
}
