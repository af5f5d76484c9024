// Which line driver the port's lines go to, and what the programming code
// asks of the lines beyond switching them: whether one failed, and the
// chip's data read back.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

class LineDriver;

enum class LineDriverChoice : std::uint8_t {
  SerialPort,
  Adapter,   // an FTDI adapter clocks the lines out in bit-bang mode
  LineLost,  // the adapter could not be used, nor the serial port had back
};

// After a successful OpenPort, once per command: the lines go to the FTDI
// adapter behind the port, where there is one and FLASH89_BITBANG is not
// "off"; otherwise they stay the serial port's. Taking an adapter measures
// its sample rate with the lines released. Trying a port (OpenPort alone)
// leaves the device with the operating system's driver.
LineDriverChoice ChooseLineDriver(std::string_view mode);

// The driver that the line procedures, WaitMs and LineLostSinceOpen act on.
LineDriver& ActiveLineDriver();

// For one scope the lines go to driver, a dry run's counting driver, say;
// the driver before comes back when the scope ends.
class ScopedLineDriver {
 public:
  explicit ScopedLineDriver(LineDriver& driver);
  ~ScopedLineDriver();
  ScopedLineDriver(const ScopedLineDriver&) = delete;
  ScopedLineDriver& operator=(const ScopedLineDriver&) = delete;

 private:
  LineDriver* previous_;
};

// Whether any line switch failed since the last OpenPort, e.g. because a USB
// adapter was unplugged in the middle of a command. On an adapter that
// clocks out the lines itself, what is still gathered is sent first, and the
// answer covers every switch made so far.
bool LineLostSinceOpen();

// MISO, the chip's data out, where the cable brings it back (CTS on a
// serial port, CTS# on an adapter): reads it as the lines stand now, false
// when it cannot be read. The levels come from
// CollectMisoLevels, oldest first, once levels.size() readings were taken:
// an adapter that clocks out the lines itself reads them only as its
// samples go out. Only while reading; the write path never calls them.
bool ReadMisoLine();
bool CollectMisoLevels(std::span<bool> levels);
