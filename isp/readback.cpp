#include "isp/readback.h"

#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

std::uint8_t Under(CtsPolarity polarity, std::uint8_t raw) {
  return polarity == CtsPolarity::OnIsHigh ? raw : static_cast<std::uint8_t>(~raw);
}

// The three bytes before an answer, sent as any instruction's are.
void SendHead(std::uint8_t instruction, std::uint16_t address) {
  if (CancelRequested()) throw Cancelled{};
  SendIspByte(instruction);
  SendIspByte(static_cast<std::uint8_t>(address >> 8));
  SendIspByte(static_cast<std::uint8_t>(address & 0xFF));
}

void CheckLines() {
  if (LineFailedSinceOpen()) throw LineLost{};
}

}  // namespace

std::uint8_t ReceiveIspByte() {
  std::uint8_t value = 0;
  for (int bit = 7; bit >= 0; --bit) {
    SetTxdLine(true);  // MOSI at 0
    WaitMs(kBitPhaseMs);
    SetRtsLine(false);
    WaitMs(kBitPhaseMs);
    bool ctsOn = false;
    if (!ReadCtsLine(ctsOn)) throw NoDataLine{};
    value = static_cast<std::uint8_t>(value << 1 | (ctsOn ? 1 : 0));
    SetRtsLine(true);
    WaitMs(kBitPhaseMs);
  }
  WaitMs(kBitPhaseMs);
  SetTxdLine(true);
  return value;
}

SignatureRead ReadSignature() {
  SignatureRead read;
  for (std::uint8_t i = 0; i < read.bytes.size(); ++i) {
    SendHead(kReadSignature, static_cast<std::uint16_t>(0x30 + i));
    read.bytes[i] = ReceiveIspByte();
  }
  CheckLines();
  for (const CtsPolarity polarity : {CtsPolarity::OnIsHigh, CtsPolarity::OnIsLow}) {
    if (Under(polarity, read.bytes[0]) == kAtmelSignature &&
        Under(polarity, read.bytes[1]) == kAt89s8253Signature) {
      for (std::uint8_t& byte : read.bytes) byte = Under(polarity, byte);
      read.polarity = polarity;
      break;
    }
  }
  return read;
}

bool NamesAnotherAtmelChip(const SignatureRead& read) {
  if (read.polarity) return false;
  for (const CtsPolarity polarity : {CtsPolarity::OnIsHigh, CtsPolarity::OnIsLow}) {
    const std::uint8_t maker = Under(polarity, read.bytes[0]);
    const std::uint8_t part = Under(polarity, read.bytes[1]);
    // A constant line reads 00 or FF throughout: no chip at all.
    if (maker == kAtmelSignature && part != 0x00 && part != 0xFF) return true;
  }
  return false;
}

std::uint8_t ReadFlashByte(std::uint16_t address, CtsPolarity polarity) {
  SendHead(kReadProgramMemory, address);
  const std::uint8_t value = Under(polarity, ReceiveIspByte());
  CheckLines();
  return value;
}

void ReadFlashPage(std::uint16_t address, CtsPolarity polarity,
                   std::span<std::uint8_t, kPageSize> into) {
  SendHead(kReadProgramPage, static_cast<std::uint16_t>(address & ~(kPageSize - 1)));
  for (std::uint8_t& byte : into) byte = Under(polarity, ReceiveIspByte());
  CheckLines();
}
