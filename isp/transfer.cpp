#include <atomic>

#include "isp/bit_clock.h"
#include "isp/isp.h"
#include "serial/rezero.h"

namespace {
// Only a lock-free atomic may be touched by a signal handler.
std::atomic<bool> cancelRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);
}  // namespace

void RequestCancel() { cancelRequested.store(true, std::memory_order_relaxed); }
void WithdrawCancel() { cancelRequested.store(false, std::memory_order_relaxed); }
bool CancelRequested() { return cancelRequested.load(std::memory_order_relaxed); }

// The hot path: three line switches and three waits per bit, nothing else.
void SendIspByte(std::uint8_t value) {
  const double phaseMs = BitPhaseMs();
  for (int bit = 7; bit >= 0; --bit) {
    SetTxdLine(((value >> bit) & 1) == 0);  // the port inverts the data
    WaitMs(phaseMs);
    SetRtsLine(false);
    WaitMs(phaseMs);
    SetRtsLine(true);  // the chip takes the bit here
    WaitMs(phaseMs);
  }
  WaitMs(phaseMs);
  SetTxdLine(true);
}

void SendIspInstruction(const IspInstruction& instruction) {
  // Per instruction, not per bit: one plain load, no system call.
  if (CancelRequested()) throw Cancelled{};
  for (const std::uint8_t value : instruction) SendIspByte(value);
  RequireLinesHeld();
}

void SendIspHead(std::uint8_t instruction, std::uint16_t address) {
  if (CancelRequested()) throw Cancelled{};
  SendIspByte(instruction);
  SendIspByte(static_cast<std::uint8_t>(address >> 8));
  SendIspByte(static_cast<std::uint8_t>(address & 0xFF));
}

void RequireLinesHeld() {
  if (LineLostSinceOpen()) throw LineLost{};
}

void WriteFlashByte(std::uint16_t address, std::uint8_t data) {
  SendIspInstruction({kWriteProgramMemory, static_cast<std::uint8_t>(address >> 8),
                      static_cast<std::uint8_t>(address & 0xFF), data});
  // The whole allowance for the write cycle: nothing is read back.
  WaitMs(kWriteCycleMs);
}
