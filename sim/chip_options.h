// The chip behind a fake port, as the port's options name it, beside its
// cable ("cts=miso:xtal=3:fuses=0x0E:lock=0x4:eeprom=FILE:user_row=FILE"):
//   xtal=MHZ   its crystal in MHz, which its clock limits scale with;
//              11.0592 when not given
//   fuses=F    the user fuses as the chip reads them (F4 F3 F2 F1, 0 is
//              programmed); 0x0A, as from the factory, when not given
//   lock=L     the lock bits as read (LB3 LB2 LB1, 0 is locked); 0x7 when
//              not given
//   eeprom=FILE, user_row=FILE   their contents from address 0, binary;
//              the cells beyond the file's end blank
// Numbers in decimal, or hex with 0x.
#pragma once

#include <cstddef>
#include <string_view>

class ChipModel;

// Applies the chip's options among options (separated by ':') and skips
// the others. False when a file named cannot be read.
bool ApplyChipOptions(std::string_view options, ChipModel& chip);

// Where the option that begins at `at` ends: at its ':' or the end, a
// Windows drive's colon in a file name read past.
std::size_t OptionEnd(std::string_view options, std::size_t at);
