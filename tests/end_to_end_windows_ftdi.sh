#!/usr/bin/env bash
# The real flash89.exe under Wine with an FTDI adapter behind COM2: the fake
# ftd2xx.dll in Wine's system directory makes one from the environment, in
# real time, and records its pin changes. Erase,
# Flash hex and Flash bin, clicked by a person, must land byte for byte in
# the simulated chip on the adapter's pins with no timing violation, no
# line switch may reach the serial port, and an adapter whose sample rate
# cannot be trusted must give the lost-port error box and write nothing.
# flash89-cli.exe must find the chip through the adapter's CTS# pin, write
# an image with --verify and verify it again.
# Runs in the Wine prefix of scripts/test-windows.sh (scripts/wine-fake-ports.sh).
# Usage: end_to_end_windows_ftdi.sh WORK FLASH89.EXE WINDOW_TEXT.EXE CHIP_REPORT TEST-DATA
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-fake-ports.sh"
work=$1 exe=$2 window_text=$3 chip_report=$4 data=$(realpath "$5")
com2="$work/fake-com2" serial_trace="$work/trace"
chip_device=ftd2xx:COM2
source "$(dirname "$0")/wine_window_driver.sh"

adapter_closes() { grep -c " $chip_device close " "$chip_trace" 2>/dev/null || true; }
adapter_closed_since() { [ "$(adapter_closes)" -gt "$1" ]; }
# Lines that the serial port switched on, or breaks it sent, in the trace
# after its line $1. Configuring the port switches DTR and RTS off, which
# the chip ignores.
serial_lines_raised_since() {
  tail -n +"$(($1 + 1))" "$serial_trace" | awk -v d="$com2" '
    function dtr(bits) { return int(bits / 2) % 2 }
    function rts(bits) { return int(bits / 4) % 2 }
    $2 != d || $5 != 0 { next }
    $3 == "TIOCMGET" { dtr_on = dtr($4); rts_on = rts($4) }
    $3 == "TIOCMSET" || $3 == "TIOCMBIS" {
      if ((dtr($4) && !dtr_on) || (rts($4) && !rts_on)) raised++
      if ($3 == "TIOCMSET" || dtr($4)) dtr_on = dtr($4)
      if ($3 == "TIOCMSET" || rts($4)) rts_on = rts($4)
    }
    $3 == "TIOCMBIC" { if (dtr($4)) dtr_on = 0; if (rts($4)) rts_on = 0 }
    $3 == "TIOCSBRK" { raised++ }
    END { print raised + 0 }'
}
# start_on_adapter SAMPLES-PER-BAUD [COM-NUMBER]: flash89.exe with the
# adapter on COM2 or the COM port given, which FTDI's driver gave it.
start_on_adapter() {
  chip_trace="$work/adapter-trace-$1"
  : >"$chip_trace"
  ftdi_driver_forget
  ftdi_driver_gave "${2:-2}"
  export FLASH89_FAKE_FTD2XX="COM${2:-2}:$1" FLASH89_FAKE_FTD2XX_TRACE
  FLASH89_FAKE_FTD2XX_TRACE=$(windows_path "$chip_trace")
  "$wine" "$exe" >"$work/flash89.log" 2>&1 &
  program=$!
  window=$(wait_window 60 'VU74/Flash AT89S8253') || fail "the window did not appear"
  wait_for 20 "the log does not start with Download ..." memo_line_is 0 "Download ..."
}
# click_and_wait X Y WHAT [FILE]: a button, the file for its dialog, and
# the adapter given back at the command's end.
click_and_wait() {
  local closes
  closes=$(adapter_closes)
  click "$1" "$2"
  [ -z "${4:-}" ] || choose_file "$4"
  wait_for 120 "$3 did not end" adapter_closed_since "$closes"
}
stop_program() {
  xdotool key --window "$window" alt+F4
  wait_for 30 "flash89.exe did not end" bash -c "! kill -0 $program 2>/dev/null"
}

rm -f "$work/fake-com1" "$work/fake-com1.state" "$com2.state"
touch "$com2"
printf '\x5a\x00\xc3\xff\x01' >"$work/other.bin"

# Either multiplier is the adapter tests'; end to end, one of them.
samples_per_baud=16
echo "-- an adapter clocking $samples_per_baud samples per baud"
start_on_adapter "$samples_per_baud"
mark=$(wc -l <"$serial_trace")
click_and_wait 268 244 "Erase"
chip_is_erased
click_and_wait 60 244 "Flash hex" "$data/blink_lf.hex"
flash_holds "$data/blink.bin"
wait_for 20 "the log does not show the first record" memo_line_is 1 "0000  02 00 06"
click_and_wait 164 244 "Flash bin" "$work/other.bin"
flash_holds "$work/other.bin"
[ "$(serial_lines_raised_since "$mark")" = 0 ] || fail "the serial port switched a line on"
stop_program

echo "-- an adapter whose sample rate cannot be trusted"
start_on_adapter 8
click 268 244
expect_error_box "Verbindung zu COM2 unterbrochen."
[ "$(instructions)" = 0 ] || fail "the chip received instructions from an untrusted adapter"
stop_program

echo "-- COM1 a plain serial port while an FTDI adapter sits on COM5"
com1="$work/fake-com1"
touch "$com1"
start_on_adapter 16 5
chip_trace=$serial_trace chip_device=$com1
com1_calls() { grep -c " $com1 $1 " "$serial_trace" 2>/dev/null || true; }
# All of COM1's descriptors are closed, and more closes were recorded than $1.
com1_closed_since() {
  local closes
  closes=$(com1_calls close)
  [ "$closes" -gt "$1" ] && [ "$closes" -eq $(($(com1_calls open) + $(com1_calls attach) + $(com1_calls dup))) ]
}
# Descriptors of COM1 that a process took: under Wine the server opens it
# through the prefix's link and sends it on, so each open shows as attaches.
com1_takes() { echo $(($(com1_calls open) + $(com1_calls attach))); }
# The port test of the COM1 button opens the port exactly once.
takes=$(com1_takes) closes=$(com1_calls close)
click 345 244
wait_for 30 "no COM1 geöffnet" memo_line_is 1 "COM1 geöffnet"
wait_for 30 "the port test did not close COM1" com1_closed_since "$closes"
takes_per_open=$(($(com1_takes) - takes))
[ "$takes_per_open" -gt 0 ] || fail "the port test of COM1 left no trace"
# click_on_com1 X Y WHAT [FILE]: one command, which opens COM1 once.
click_on_com1() {
  local takes closes
  takes=$(com1_takes) closes=$(com1_calls close)
  click "$1" "$2"
  [ -z "${4:-}" ] || choose_file "$4"
  wait_for 120 "$3 did not end" com1_closed_since "$closes"
  [ "$(($(com1_takes) - takes))" = "$takes_per_open" ] ||
    fail "$3 took COM1 $(($(com1_takes) - takes)) times, one open takes it $takes_per_open times"
}
click_on_com1 268 244 "Erase"
chip_is_erased
click_on_com1 60 244 "Flash hex" "$data/blink_lf.hex"
flash_holds "$data/blink.bin"
[ "$(grep -c " ftd2xx:COM5 " "$work/adapter-trace-16")" = 0 ] || fail "the adapter on COM5 was used"
stop_program
rm -f "$com1"

echo "-- flash89-cli.exe on an adapter on COM2 that brings MISO back, inverted, to CTS#"
cli="$(dirname "$exe")/flash89-cli.exe"
chip_device=ftd2xx:COM2 chip_trace="$work/adapter-trace-cli"
: >"$chip_trace"
ftdi_driver_forget
ftdi_driver_gave 2
export FLASH89_FAKE_FTD2XX="COM2:16" FLASH89_FAKE_FTD2XX_CABLE="cts=inverted"
export FLASH89_FAKE_FTD2XX_TRACE FLASH89_FAKE_FTD2XX_FLASH
FLASH89_FAKE_FTD2XX_TRACE=$(windows_path "$chip_trace")
FLASH89_FAKE_FTD2XX_FLASH=$(windows_path "$work/adapter-flash")
detected=$("$wine" "$cli" --port COM2 detect 2>&1) || fail "detect: $detected"
[[ $detected == *"AT89S8253 an COM2 (Signatur 1E 73 01)"* ]] || fail "detect printed: $detected"
written=$("$wine" "$cli" -q --port COM2 hex --verify "$data/blink_lf.hex" 2>&1) ||
  fail "hex --verify: $written"
flash_holds "$data/blink.bin"
verified=$("$wine" "$cli" --port COM2 verify "$data/blink_lf.hex" 2>&1) || fail "verify: $verified"
[[ $verified == *"Geprüft"* ]] || fail "verify printed: $verified"
written=$("$wine" "$cli" -q --port COM2 hex --verify "$data/blink_lf.hex" --eeprom "$data/eeprom_small.hex" 2>&1) ||
  fail "hex --eeprom: $written"
verified=$("$wine" "$cli" --port COM2 verify --eeprom "$data/eeprom_small.hex" 2>&1) || fail "verify --eeprom: $verified"

ftdi_driver_forget
unset FLASH89_FAKE_FTD2XX FLASH89_FAKE_FTD2XX_TRACE FLASH89_FAKE_FTD2XX_CABLE FLASH89_FAKE_FTD2XX_FLASH
echo "flash89-cli.exe under Wine on an FTDI adapter: the chip detected, an image written with --verify and verified"
echo "flash89.exe under Wine on an FTDI adapter: Erase, HEX and binary images byte for byte; an untrusted rate refused; a plain COM1 beside an adapter opened once per command"
