#include "isp/readback.h"

#include <algorithm>

#include "isp/bit_clock.h"
#include "isp/isp.h"
#include "serial/rezero.h"

std::uint8_t AsSent(MisoPolarity polarity, std::uint8_t raw) {
  return polarity == MisoPolarity::OnIsHigh ? raw : static_cast<std::uint8_t>(~raw);
}

void ExchangeIspBytes(std::span<const std::uint8_t> out, std::span<std::uint8_t> into) {
  const double phaseMs = BitPhaseMs();
  std::array<bool, kPageSize * 8> levels{};
  const auto bits = std::span(levels).first(std::min(into.size(), kPageSize) * 8);
  for (std::size_t byte = 0; byte < bits.size() / 8; ++byte) {
    for (int bit = 7; bit >= 0; --bit) {
      SetTxdLine(((out[byte] >> bit) & 1) == 0);  // the port inverts the data
      WaitMs(phaseMs);
      SetRtsLine(false);
      WaitMs(phaseMs);
      if (!ReadMisoLine()) throw NoMisoLine{};
      SetRtsLine(true);
      WaitMs(phaseMs);
    }
    WaitMs(phaseMs);
    SetTxdLine(true);
  }
  if (!CollectMisoLevels(bits)) throw NoMisoLine{};
  for (std::size_t byte = 0; byte < bits.size() / 8; ++byte) {
    std::uint8_t value = 0;
    for (std::size_t bit = 0; bit < 8; ++bit) {
      value = static_cast<std::uint8_t>(value << 1 | (bits[byte * 8 + bit] ? 1 : 0));
    }
    into[byte] = value;
  }
}

void ReceiveIspBytes(std::span<std::uint8_t> into) {
  // MOSI at 0 throughout.
  static constexpr std::array<std::uint8_t, kPageSize> kZeros{};
  ExchangeIspBytes(std::span(kZeros).first(std::min(into.size(), kPageSize)), into);
}

std::uint8_t ReceiveIspByte() {
  std::uint8_t value = 0;
  ReceiveIspBytes(std::span(&value, 1));
  return value;
}

SignatureRead ReadSignature() {
  SignatureRead read;
  for (std::uint8_t i = 0; i < read.bytes.size(); ++i) {
    SendIspHead(kReadSignature, static_cast<std::uint16_t>(0x30 + i));
    read.bytes[i] = ReceiveIspByte();
  }
  RequireLinesHeld();
  for (const MisoPolarity polarity : {MisoPolarity::OnIsHigh, MisoPolarity::OnIsLow}) {
    if (AsSent(polarity, read.bytes[0]) == kAtmelSignature &&
        AsSent(polarity, read.bytes[1]) == kAt89s8253Signature) {
      for (std::uint8_t& byte : read.bytes) byte = AsSent(polarity, byte);
      read.polarity = polarity;
      break;
    }
  }
  return read;
}

bool NamesAnotherAtmelChip(const SignatureRead& read) {
  if (read.polarity) return false;
  for (const MisoPolarity polarity : {MisoPolarity::OnIsHigh, MisoPolarity::OnIsLow}) {
    const std::uint8_t maker = AsSent(polarity, read.bytes[0]);
    const std::uint8_t part = AsSent(polarity, read.bytes[1]);
    // A constant line reads 00 or FF throughout: no chip at all.
    if (maker == kAtmelSignature && part != 0x00 && part != 0xFF) return true;
  }
  return false;
}

namespace {

std::optional<MisoPolarity> EnableAnswered() {
  std::array<std::uint8_t, 4> echo{};
  ExchangeIspBytes(kProgrammingEnable, echo);
  RequireLinesHeld();
  for (const MisoPolarity polarity : {MisoPolarity::OnIsHigh, MisoPolarity::OnIsLow}) {
    if (AsSent(polarity, echo[2]) == kProgrammingEnable[1]) return polarity;
  }
  return std::nullopt;
}

}  // namespace

std::optional<MisoPolarity> EnableProgrammingAnswered() {
  if (CancelRequested()) throw Cancelled{};
  // The chip's own time: reset held 10 ms with the clock at rest.
  SetRtsLine(true);
  SetDtrLine(true);
  WaitMs(10);
  if (const auto polarity = EnableAnswered()) return polarity;
  // A board whose reset or oscillator is slower gets the window's waits.
  SetDtrLine(false);
  WaitMs(100);
  SetDtrLine(true);
  WaitMs(100);
  const auto polarity = EnableAnswered();
  WaitMs(10);
  return polarity;
}
