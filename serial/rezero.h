// One serial port at a time, used only for its DTR, RTS and TXD break lines,
// and the millisecond clock whose spinning waits time those lines.
// REZERO is the name the rest of the program has always known this module
// by; it is kept, like the names and signatures of its procedures below.
#pragma once

#include <cstdint>
#include <string_view>

#include "serial/device_seam.h"
// The port's other parts, for the programming code above.
#include "serial/line_choice.h"
#include "serial/module_reset.h"
#include "serial/port_names.h"
#include "serial/wait_idle_work.h"

// 0 when no port is held. A failed open leaves the invalid handle here, and
// it counts as open for the next OpenPort.
extern device_seam::Handle PortHandle;

// True when the device is present, free and configured. The lines are the
// serial port's until ChooseLineDriver says otherwise.
bool OpenPort(std::string_view mode);
void SetPortTimeouts(std::uint32_t timeoutMs);
void ClosePort();

void SetDtrLine(bool on);  // reset
void SetRtsLine(bool on);  // clock
void SetTxdLine(bool on);  // on: TXD held in break

extern double MsPerTick;
extern std::int64_t ClockStart;

void StartClock();
double ElapsedMs();
// Never shorter than asked; on the lines' own driver, which for an adapter
// makes it of samples. Long waits run the installed idle work.
void WaitMs(double durationMs);
