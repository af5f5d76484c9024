#include "isp/erase_command.h"

#include "isp/command_port.h"
#include "isp/isp.h"
#include "serial/rezero.h"

void EraseCommand(int selectedPort) {
  CommandPort port(selectedPort);
  port.Program([] {
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
    // The clock stays on and TXD in break until the port closes.
  });
}
