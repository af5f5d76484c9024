#!/usr/bin/env bash
# The real flash89 in a real window on a virtual X display, with the fake
# serial device preloaded: a person's clicks and typing write an Intel HEX
# image, the window's title shows the download's progress, and the simulated
# chip's flash must then hold it byte for byte. Then COM1, an adapter that
# only fakes its break, is chosen: Erase is refused in an error box before
# the chip on it is reset.
# Usage: end_to_end_flash_hex.sh FLASH89 PRELOAD CHIP_REPORT HEX BIN
set -euo pipefail
flash89=$1 preload=$2 chip_report=$3 hex=$4 bin=$5

source "$(dirname "$0")/x_window_driver.sh"
start_x_display

touch "$work/com1" "$work/com2"
export FLASH89_COM1="$work/com1" FLASH89_COM2="$work/com2"
export FLASH89_FAKE_SERIAL="$work/com1:faked_break,$work/com2" FLASH89_FAKE_TRACE="$work/trace"
chip_trace="$work/trace" chip_device="$work/com2"
LD_PRELOAD="$preload" QT_QPA_PLATFORM=xcb "$flash89" >"$work/flash89.log" 2>&1 &
program=$!
pids+=("$program")

window=$(timeout 20 xdotool search --sync --onlyvisible --name "VU74/Flash AT89S8253" | head -n1)
closes() { grep -c " close " "$work/trace" 2>/dev/null || true; }
before=$(closes)

caption="VU74/Flash AT89S8253"

# "Flash hex", then the file's name in the open-file dialog.
xdotool mousemove --window "$window" 60 244 click 1
choose_file "$hex"

# While it runs the title shows the share done and the time left.
progress=""
for _ in $(seq 600); do
  [ "$(closes)" -gt "$before" ] && break
  title=$(xdotool getwindowname "$window" 2>/dev/null || true)
  [[ "$title" =~ ^"$caption – "[0-9]+" %, noch "[0-9]+" "(s|min)$ ]] && progress=$title
  sleep 0.05
done
[ "$(closes)" -gt "$before" ] || fail "the download did not end"
[ -n "$progress" ] || fail "the title showed no progress"
echo "title during the download: $progress"
for _ in $(seq 50); do
  [ "$(xdotool getwindowname "$window")" = "$caption" ] && break
  sleep 0.1
done
[ "$(xdotool getwindowname "$window")" = "$caption" ] || fail "the title did not come back"
flash_holds "$bin"
echo "the chip's flash holds the image, with no timing violation"

# COM1, then Erase: the faked break is refused in the error box, named after
# the program, and the chip on COM1 is never reset.
xdotool mousemove --window "$window" 345 246 click 1
xdotool mousemove --window "$window" 268 244 click 1
box=$(second_window)
[ -n "$box" ] || fail "no error box for the faked break"
[ "$(xdotool getwindowname "$box")" = "$(basename "$flash89")" ] || fail "not the error box"
xdotool windowfocus --sync "$box"
xdotool key Return
for _ in $(seq 100); do
  grep -q "$work/com1 TIOCCBRK" "$work/trace" 2>/dev/null && break
  sleep 0.1
done
grep -q "$work/com1 TIOCCBRK" "$work/trace" || fail "the break of COM1 was not checked"
# TIOCM_DTR is 2: no TIOCMBIS on COM1 may set it.
if awk -v device="$work/com1" '$2 == device && $3 == "TIOCMBIS" && int($4 / 2) % 2 == 1' "$work/trace" | grep -q .; then
  fail "the chip on COM1 was reset"
fi
echo "COM1 with a faked break: refused in an error box, its chip never reset"
