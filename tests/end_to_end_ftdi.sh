#!/usr/bin/env bash
# The real flash89 and flash89-cli with an FTDI adapter behind COM2: the
# fake serial device and, after it, the fake FTDI adapters are preloaded,
# in real time. Erase, Flash hex and Flash bin,
# clicked in the window, must land byte for byte in the simulated chip on
# the adapter's pins with no timing violation; no line may be switched on
# at the serial port, and the kernel's driver must have the adapter back
# after each command. An adapter whose sample rate cannot be trusted must
# end flash89-cli's command as a lost port, with nothing sent to the chip.
# Usage: end_to_end_ftdi.sh FLASH89 FLASH89-CLI SERIAL-PRELOAD FTDI-PRELOAD CHIP_REPORT HEX BIN
set -euo pipefail
flash89=$1 cli=$2 serial_preload=$3 ftdi_preload=$4 chip_report=$5 hex=$6 bin=$7

source "$(dirname "$0")/x_window_driver.sh"
start_x_display

touch "$work/com1" "$work/com2"
export FLASH89_COM1="$work/com1" FLASH89_COM2="$work/com2"
export FLASH89_FAKE_SERIAL="$work/com1,$work/com2" FLASH89_FAKE_TRACE="$work/trace"
preloads="$serial_preload $ftdi_preload"
printf '\x5a\x00\xc3\xff\x01' >"$work/other.bin"

adapter=ftdi:com2 chip_device=ftdi:com2 chip_trace="$work/adapter-trace"
adapter_closes() { grep -c " $adapter close " "$work/adapter-trace" 2>/dev/null || true; }
# One command ended: the adapter was closed once more, and given back to
# the kernel's driver.
adapter_closed_since() {
  [ "$(adapter_closes)" -gt "$1" ] || return 1
  [ "$(grep " $adapter close " "$work/adapter-trace" | tail -n1 | cut -d' ' -f4)" = 1 ] ||
    fail "the kernel's driver did not get the adapter back"
}
wait_for_command() {
  for _ in $(seq 600); do adapter_closed_since "$1" && return 0; sleep 0.1; done
  fail "$2 did not end"
}
# Lines that the serial port switched on, or breaks it sent (TIOCM_DTR is
# 2, TIOCM_RTS 4).
serial_lines_raised() {
  awk -v d="$work/com2" '$2 == d && $5 == 0 &&
    ($3 == "TIOCSBRK" || ($3 ~ /^TIOCM(SET|BIS)$/ && (int($4 / 2) % 2 || int($4 / 4) % 2)))' \
    "$work/trace" 2>/dev/null | wc -l
}
click_and_wait() {
  local closes
  closes=$(adapter_closes)
  xdotool mousemove --window "$window" "$1" "$2" click 1
  [ -z "${4:-}" ] || choose_file "$4"
  wait_for_command "$closes" "$3"
}

# Either multiplier is the adapter tests'; end to end, one of them.
samples_per_baud=4
echo "-- the window, on an adapter clocking $samples_per_baud samples per baud"
: >"$work/adapter-trace"
FLASH89_FAKE_FTDI="$work/com2:$samples_per_baud" FLASH89_FAKE_FTDI_TRACE="$work/adapter-trace" \
  LD_PRELOAD="$preloads" QT_QPA_PLATFORM=xcb "$flash89" >"$work/flash89.log" 2>&1 &
program=$!
pids+=("$program")
window=$(timeout 20 xdotool search --sync --onlyvisible --name "VU74/Flash AT89S8253" | head -n1)
[ -n "$window" ] || fail "the window did not appear"

click_and_wait 268 244 "Erase"
chip_is_erased
click_and_wait 60 244 "Flash hex" "$hex"
flash_holds "$bin"
click_and_wait 164 244 "Flash bin" "$work/other.bin"
flash_holds "$work/other.bin"
[ "$(serial_lines_raised)" = 0 ] || fail "the serial port switched a line on"

kill "$program"
wait "$program" 2>/dev/null || true
echo "the window on an FTDI adapter: Erase, HEX and binary images byte for byte"

echo "-- flash89-cli, on an adapter whose sample rate cannot be trusted"
: >"$work/adapter-trace"
status=0
FLASH89_FAKE_FTDI="$work/com2:8" FLASH89_FAKE_FTDI_TRACE="$work/adapter-trace" \
  LD_PRELOAD="$preloads" "$cli" --port COM2 hex "$hex" >"$work/cli.out" 2>&1 || status=$?
[ "$status" = 4 ] || fail "flash89-cli ended with $status: $(cat "$work/cli.out")"
grep -q "flash89-cli: Verbindung zu COM2 unterbrochen" "$work/cli.out" || fail "flash89-cli said: $(cat "$work/cli.out")"
[ "$(instructions)" = 0 ] ||
  fail "the chip received instructions from an untrusted adapter"
echo "flash89-cli on an untrusted adapter: a lost port, nothing sent to the chip"
