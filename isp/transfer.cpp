#include "isp/isp.h"
#include "serial/rezero.h"

// The hot path: three line switches and three waits per bit, nothing else.
void SendIspByte(std::uint8_t value) {
  for (int bit = 7; bit >= 0; --bit) {
    SetTxdLine(((value >> bit) & 1) == 0);  // the port inverts the data
    WaitMs(kBitPhaseMs);
    SetRtsLine(false);
    WaitMs(kBitPhaseMs);
    SetRtsLine(true);  // the chip takes the bit here
    WaitMs(kBitPhaseMs);
  }
  WaitMs(kBitPhaseMs);
  SetTxdLine(true);
}

void SendIspInstruction(const IspInstruction& instruction) {
  for (const std::uint8_t value : instruction) SendIspByte(value);
  if (LineFailedSinceOpen()) throw LineLost{};
}

void WriteFlashByte(std::uint16_t address, std::uint8_t data) {
  SendIspInstruction({kWriteProgramMemory, static_cast<std::uint8_t>(address >> 8),
                      static_cast<std::uint8_t>(address & 0xFF), data});
  // The whole allowance for the write cycle: nothing is read back.
  WaitMs(kWriteCycleMs);
}
