// Reading the chip's answer as a programmer does: MOSI held at 0, CTS read
// while each clock pulse is on.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "isp/isp.h"
#include "serial/rezero.h"

// The answer to the instruction that begins with these three bytes, CTS
// taken as MISO (or, through an inverting cable, as its complement).
inline std::uint8_t ReadAnswer(std::uint8_t opcode, std::uint16_t address, bool inverted = false) {
  for (std::uint8_t sent : {opcode, static_cast<std::uint8_t>(address >> 8),
                            static_cast<std::uint8_t>(address & 0xFF)}) {
    SendIspByte(sent);
  }
  for (int bit = 0; bit < 8; ++bit) {
    SetTxdLine(true);
    WaitMs(0.01);
    SetRtsLine(false);
    WaitMs(0.01);
    EXPECT_TRUE(ReadMisoLine());
    SetRtsLine(true);
    WaitMs(0.01);
  }
  std::array<bool, 8> cts{};
  EXPECT_TRUE(CollectMisoLevels(cts));
  std::uint8_t value = 0;
  for (const bool level : cts) value = static_cast<std::uint8_t>(value << 1 | (level != inverted));
  return value;
}
