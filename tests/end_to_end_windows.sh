#!/usr/bin/env bash
# The real flash89.exe under Wine on a virtual display, driven by a person's
# clicks and typing: a HEX image through the real open-file dialog, Erase,
# a port that is not there, a malformed file and a binary image. COM2 is a
# fake device that records every line switch; the simulated chip's flash
# must hold each image byte for byte.
# Runs in the Wine prefix of scripts/test-windows.sh (scripts/wine-fake-ports.sh):
# COM1 is WORK/fake-com1, COM2 WORK/fake-com2, traced to WORK/trace.
# Usage: end_to_end_windows.sh WORK FLASH89.EXE WINDOW_TEXT.EXE CHIP_REPORT TEST-DATA
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-fake-ports.sh"
work=$1 exe=$2 window_text=$3 chip_report=$4 data=$(realpath "$5")
com1="$work/fake-com1" com2="$work/fake-com2" trace="$work/trace"

chip_trace=$trace chip_device=$com2
source "$(dirname "$0")/wine_window_driver.sh"
calls() { grep -c " $com2 $1 " "$trace" 2>/dev/null || true; }
# COM2's descriptors are all closed (the Wine server's and the program's),
# and more closes were recorded than $1.
com2_closed_since() {
  local closes
  closes=$(calls close)
  [ "$closes" -gt "$1" ] && [ "$closes" -eq $(($(calls open) + $(calls attach) + $(calls dup))) ]
}
# Only this run's calls: the chip must not see what earlier tests did on COM2.
: >"$trace"
rm -f "$com1" "$com1.state" "$com2.state"
touch "$com2"

echo "-- start: COM1 absent, COM2 present"
start=$(date +%s%N)
"$wine" "$exe" >"$work/flash89.log" 2>&1 &
program=$!
window=$(wait_window 60 'VU74/Flash AT89S8253') || fail "the window did not appear"
echo "start-up to window shown under Wine: $((($(date +%s%N) - start) / 1000000)) ms"
wait_for 30 "the start-up probe did not close COM2" com2_closed_since 0
wait_for 20 "the log does not start with Download ..." memo_line_is 0 "Download ..."

echo "-- Flash hex through the open-file dialog"
closes=$(calls close)
click 60 244
choose_file "$data/blink_lf.hex"
wait_for 120 "the HEX download did not end" com2_closed_since "$closes"
flash_holds "$data/blink.bin"
wait_for 20 "the log does not show the first record" memo_line_is 1 "0000  02 00 06"

echo "-- Erase"
closes=$(calls close)
click 268 244
wait_for 60 "Erase did not end" com2_closed_since "$closes"
chip_is_erased

echo "-- COM1 and COM2 chosen: both are fake devices"
touch "$com1"
click 345 244
wait_for 30 "no COM1 geöffnet" memo_line_is 1 "COM1 geöffnet"
grep -q " $com1 attach " "$trace" || fail "COM1 did not reach its fake device"
click 420 244
wait_for 30 "no COM2 geöffnet" memo_line_is 1 "COM2 geöffnet"

echo "-- COM1 chosen while absent"
rm -f "$com1"
click 345 244
wait_for 30 "no COM1 nicht bereit" memo_line_is 1 "COM1 nicht bereit"

echo "-- Erase with COM2 gone"
rm -f "$com2"
click 268 244
expect_error_box "COM2 nicht bereit."

echo "-- a malformed HEX file"
touch "$com2"
printf ':0300000002002EC0\r\n:00000001FF\r\n' >"$work/bad.hex"
mark=$(wc -l <"$trace")
instructions_before=$(instructions)
click 60 244
choose_file "$work/bad.hex"
expect_error_box "Zeile 1: Prüfsummenfehler."
# The port's line check at open switches RTS and the break with reset off,
# which the chip ignores: its reset (DTR) was never raised, and it received
# no instruction.
if tail -n +"$((mark + 1))" "$trace" |
   awk -v d="$com2" '$2 == d && ($3 == "TIOCMSET" || $3 == "TIOCMBIS") && int($4 / 2) % 2 == 1' | grep -q .; then
  fail "reset was raised for a malformed file"
fi
[ "$(instructions)" = "$instructions_before" ] || fail "the chip received instructions for a malformed file"

echo "-- Flash bin"
closes=$(calls close)
click 164 244
choose_file "$data/blink.bin"
wait_for 120 "the binary download did not end" com2_closed_since "$closes"
flash_holds "$data/blink.bin"

echo "-- closing the window ends the program"
xdotool key --window "$window" alt+F4
wait_for 30 "flash89.exe did not end" bash -c "! kill -0 $program 2>/dev/null"
echo "flash89.exe under Wine: HEX and binary images written byte for byte, Erase, error boxes as expected"
