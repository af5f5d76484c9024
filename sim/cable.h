// What a programming cable brings back to the port's CTS input. Plain: CTS
// on while the chip's data output (MISO) is high. Inverted: CTS on while
// MISO is low, as through an RS-232 level shifter that inverts (a MAX232
// does), the same one that makes TXD in break a 0 bit. Without a line back
// CTS stays off; a loop-back cable (RTS wired to CTS, no chip) shows RTS.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

enum class Cable : std::uint8_t { NoLineBack, MisoOnCts, MisoOnCtsInverted, RtsLoopedBack };

// The cable that a fake port's options name ("cts=miso", "cts=inverted",
// "cts=rts", "cts=none"), or fallback.
inline Cable CableNamed(std::string_view option, Cable fallback) {
  if (option == "cts=miso") return Cable::MisoOnCts;
  if (option == "cts=inverted") return Cable::MisoOnCtsInverted;
  if (option == "cts=rts") return Cable::RtsLoopedBack;
  if (option == "cts=none") return Cable::NoLineBack;
  return fallback;
}

// The settling time of the cable's level shifter (sim/level_shifter.h) that
// a fake port's option names ("shifter=2us", in microseconds), or fallback.
inline std::int64_t ShifterSettleNsNamed(std::string_view option, std::int64_t fallback) {
  constexpr std::string_view kName = "shifter=";
  if (option.substr(0, kName.size()) != kName) return fallback;
  const std::string value(option.substr(kName.size()));
  return static_cast<std::int64_t>(std::strtod(value.c_str(), nullptr) * 1e3);
}
