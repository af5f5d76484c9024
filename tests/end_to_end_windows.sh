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

fail() {
  echo "FAIL: $*"
  cat "$work/flash89.log" 2>/dev/null || true
  exit 1
}
# wait_for SECONDS WHAT COMMAND...: polls until COMMAND succeeds.
wait_for() {
  local tenths=$(($1 * 10)) what=$2
  shift 2
  for _ in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
  fail "$what"
}
calls() { grep -c " $com2 $1 " "$trace" 2>/dev/null || true; }
# COM2's descriptors are all closed (the Wine server's and the program's),
# and more closes were recorded than $1.
com2_closed_since() {
  local closes
  closes=$(calls close)
  [ "$closes" -gt "$1" ] && [ "$closes" -eq $(($(calls open) + $(calls attach) + $(calls dup))) ]
}
# The shown window titled exactly $1. Windows come and go while xdotool
# looks, which can make it fail: ask again.
shown_window() {
  local id
  for _ in 1 2 3; do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
  done
  return 1
}
# wait_window SECONDS TITLE: the window's id once it is shown.
wait_window() {
  for _ in $(seq $(($1 * 10))); do shown_window "$2" && return 0; sleep 0.1; done
  return 1
}
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
memo_line() { "$wine" "$window_text" memo 2>/dev/null | tr -d '\r' | sed -n "$(($1 + 1))p"; }
memo_line_is() { [ "$(memo_line "$1")" = "$2" ]; }
box() { "$wine" "$window_text" box Flash89 2>/dev/null | tr -d '\r'; }
box_shown() { "$wine" "$window_text" box Flash89 >/dev/null 2>&1; }
box_gone() { ! box_shown; }
# The open-file dialog: a file's name typed into it, then Return.
choose_file() {
  local dialog
  dialog=$(wait_window 30 Open) || fail "the open-file dialog did not appear"
  xdotool windowfocus --sync "$dialog" key ctrl+a type --delay 5 "$(windows_path "$1")"
  xdotool key Return
}
# The error box: its text, icon and buttons must be $1, then it is closed.
expect_error_box() {
  local shown
  wait_for 30 "no error box" box_shown
  shown=$(box)
  [ "$shown" = "$(printf '%s\nicon\nbutton OK' "$1")" ] || fail "error box shows: $shown"
  xdotool key Return
  wait_for 20 "the error box did not close" box_gone
}
instructions() { "$chip_report" "$trace" "$com2" | sed -n 's/^Chip received \([0-9]*\) instructions.*/\1/p'; }
flash_holds() {
  "$chip_report" "$trace" "$com2" "$work/flash" >"$work/report" || fail "timing: $(sed -n "/violation/,\$p" "$work/report")"
  local size
  size=$(stat -c %s "$1")
  cmp -n "$size" "$work/flash" "$1" || fail "the flash does not hold $1"
  [ "$(tail -c +"$((size + 1))" "$work/flash" | tr -d '\377' | wc -c)" -eq 0 ] ||
    fail "the flash beyond $1 is not erased"
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
"$chip_report" "$trace" "$com2" "$work/flash" >/dev/null || fail "timing of Erase"
[ "$(tr -d '\377' <"$work/flash" | wc -c)" -eq 0 ] || fail "the chip is not erased"

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
