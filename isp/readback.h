// Reading the chip back, where the cable brings its data output (MISO) to
// the port's CTS input. MOSI is held at 0 while a byte is clocked out, and
// CTS is sampled while the clock pulse is on: there the chip's output is
// stable whichever clock edge it changes on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

inline constexpr std::uint8_t kReadSignature = 0x28;
inline constexpr std::size_t kPageSize = 64;

// The signature's first two bytes: Atmel, AT89S8253. The third byte's value
// is not confirmed, so it decides nothing.
inline constexpr std::uint8_t kAtmelSignature = 0x1E;
inline constexpr std::uint8_t kAt89s8253Signature = 0x73;

// Whether a cable's level shifter inverts MISO on its way to CTS. Not the
// same on every board, so it is found from the signature.
enum class MisoPolarity : std::uint8_t { OnIsHigh, OnIsLow };

// Thrown when the port cannot read its CTS line at all.
struct NoMisoLine {};

struct SignatureRead {
  std::array<std::uint8_t, 3> bytes{};   // under the polarity found, else as CTS gave them
  std::optional<MisoPolarity> polarity;  // the one under which the bytes read 1E 73
};

// The bits of a byte read as CTS gave them, under a polarity.
std::uint8_t AsSent(MisoPolarity polarity, std::uint8_t raw);

// Each byte of out sent as SendIspByte sends it, while the chip's output is
// read into in (as CTS gave it; at most a page's bytes): a bit is 1 where
// CTS was on while its clock pulse was.
void ExchangeIspBytes(std::span<const std::uint8_t> out, std::span<std::uint8_t> in);

// Eight clock pulses with MOSI at 0 for each byte of into (at most a
// page's); a bit is 1 where CTS was on. Ends, as a sent byte does, with the
// clock on and TXD in break.
void ReceiveIspBytes(std::span<std::uint8_t> into);
std::uint8_t ReceiveIspByte();

// Programming enable with its echo read: the chip that listens answers 53
// during the third byte. The polarity under which it did, if it did. Tried
// 10 ms after reset, the chip's own time, and again after the window's
// waits for a board that needs longer.
std::optional<MisoPolarity> EnableProgrammingAnswered();

// The three signature bytes and the polarity under which they name an
// AT89S8253.
SignatureRead ReadSignature();

// Whether the signature names another chip of the same maker, under either
// polarity: a chip that answers, but not this one.
bool NamesAnotherAtmelChip(const SignatureRead& read);
