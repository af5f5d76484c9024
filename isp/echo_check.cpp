#include "isp/echo_check.h"

#include <algorithm>
#include <array>

#include "isp/bit_clock.h"
#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

std::optional<MisoPolarity> echoPolarity;
int fallbacks = 0;

// The checks cost a reading per bit; at the window's phase none are made.
bool Checking() { return echoPolarity && BitPhaseMs() < kBitPhaseMs; }

void SendPlain(std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t value : bytes) SendIspByte(value);
}

}  // namespace

void CheckEchoesUnder(std::optional<MisoPolarity> polarity) {
  echoPolarity = polarity;
  fallbacks = 0;
}

EchoChecksSuspended::EchoChecksSuspended() : saved_(echoPolarity) { echoPolarity.reset(); }
EchoChecksSuspended::~EchoChecksSuspended() { echoPolarity = saved_; }

int EchoFallbacks() { return fallbacks; }

bool EchoedAsSent(std::span<const std::uint8_t> sent, MisoPolarity polarity) {
  // In pieces of a page's bytes, the most a driver holds unread.
  std::array<std::uint8_t, kPageSize> echo{};
  std::uint8_t expected = 0;
  bool right = true;
  for (std::size_t at = 0; at < sent.size(); at += kPageSize) {
    const auto piece = sent.subspan(at, std::min(kPageSize, sent.size() - at));
    ExchangeIspBytes(piece, std::span(echo).first(piece.size()));
    for (std::size_t i = 0; i < piece.size(); ++i) {
      if (at + i > 0 && AsSent(polarity, echo[i]) != expected) right = false;
      expected = piece[i];
    }
  }
  return right;
}

void DropToWindowPhase(MisoPolarity polarity) {
  // Any edge of reset makes the chip forget the bits it has taken.
  SetDtrLine(false);
  WaitMs(1);
  SetBitPhaseMs(kBitPhaseMs);
  ++fallbacks;
  if (EnableProgrammingAnswered() != polarity) throw EchoLost{};
}

void SendCheckedInstruction(std::span<const std::uint8_t> instruction) {
  if (CancelRequested()) throw Cancelled{};
  if (!Checking() || instruction.empty()) {
    SendPlain(instruction);
  } else if (EchoedAsSent(instruction.first(instruction.size() - 1), *echoPolarity)) {
    SendIspByte(instruction.back());
  } else {
    DropToWindowPhase(*echoPolarity);
    SendPlain(instruction);
  }
  RequireLinesHeld();
}

void SendCheckedHead(std::uint8_t instruction, std::uint16_t address) {
  const std::array<std::uint8_t, 3> head{instruction, static_cast<std::uint8_t>(address >> 8),
                                         static_cast<std::uint8_t>(address & 0xFF)};
  if (CancelRequested()) throw Cancelled{};
  if (!Checking()) {
    SendPlain(head);
    return;
  }
  // The answer takes the place of the third byte's echo.
  if (!EchoedAsSent(head, *echoPolarity)) {
    DropToWindowPhase(*echoPolarity);
    SendPlain(head);
  }
}
