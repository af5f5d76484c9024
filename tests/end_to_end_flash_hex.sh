#!/usr/bin/env bash
# The real flash89 in a real window on a virtual X display, with the fake
# serial device preloaded: a person's clicks and typing write an Intel HEX
# image, and the simulated chip's flash must then hold it byte for byte.
# Usage: end_to_end_flash_hex.sh FLASH89 PRELOAD CHIP_REPORT HEX BIN
set -euo pipefail
flash89=$1 preload=$2 chip_report=$3 hex=$4 bin=$5

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

touch "$work/com2"
export FLASH89_COM1="$work/com1" FLASH89_COM2="$work/com2"
export FLASH89_FAKE_SERIAL="$work/com1,$work/com2" FLASH89_FAKE_TRACE="$work/trace" XDG_RUNTIME_DIR="$work"
LD_PRELOAD="$preload" QT_QPA_PLATFORM=xcb "$flash89" >"$work/flash89.log" 2>&1 &
program=$!
pids+=("$program")

window=$(timeout 20 xdotool search --sync --onlyvisible --name "VU74/Flash AT89S8253" | head -n1)
closes() { grep -c " close " "$work/trace" 2>/dev/null || true; }
before=$(closes)

# "Flash hex", then the file's name in the open-file dialog.
xdotool mousemove --window "$window" 60 244 click 1
# The program's second window is the dialog; type once it has the focus.
dialog=""
for _ in $(seq 300); do
  dialog=$(xdotool search --onlyvisible --pid "$program" 2>/dev/null | grep -vx "$window" | head -n1 || true)
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || { echo "the open-file dialog did not appear"; cat "$work/flash89.log"; exit 1; }
xdotool windowfocus --sync "$dialog"
xdotool type --delay 10 "$hex"
xdotool key Return

for _ in $(seq 300); do
  [ "$(closes)" -gt "$before" ] && break
  sleep 0.1
done
[ "$(closes)" -gt "$before" ] || { echo "the download did not end"; cat "$work/flash89.log"; exit 1; }

"$chip_report" "$work/trace" "$work/com2" "$work/flash" | tail -n 1
size=$(stat -c %s "$bin")
cmp -n "$size" "$work/flash" "$bin"
rest=$(tail -c +"$((size + 1))" "$work/flash" | tr -d '\377' | wc -c)
[ "$rest" -eq 0 ] || { echo "flash beyond the image is not erased"; exit 1; }
