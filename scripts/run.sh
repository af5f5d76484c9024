#!/usr/bin/env bash
# Builds flash89 and tries it on fake ports: COM1 is absent, COM2 has a
# simulated AT89S8253 behind it. No real serial port is touched.
#   scripts/run.sh               the window; when it is closed, or Ctrl+C
#                                ends it, what the chip received
#   scripts/run.sh --cli [IMAGE] flash89-cli writes IMAGE (a HEX or binary
#                                image; a test image by default), then what
#                                the chip received
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-release"
caption="VU74/Flash AT89S8253"

usage() { echo "usage: scripts/run.sh [--cli [IMAGE.hex|IMAGE.bin]]"; }
mode=window image="$root/tests/data/blink_lf.hex"
case "${1:-}" in
  "") ;;
  --cli) [ $# -le 2 ] || { usage >&2; exit 2; }; mode=cli image=${2:-$image} ;;
  -h | --help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac
program=flash89
[ "$mode" = window ] || program=flash89-cli

"$root/scripts/install-deps.sh" run
echo "== build: $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFLASH89_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "$program" flash89_fake_serial flash89_chip_report >/dev/null

ports=$(mktemp -d)
helpers=()
cleanup() {
  for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$ports"
}
trap cleanup EXIT
touch "$ports/com2"
export FLASH89_COM1="$ports/com1" FLASH89_COM2="$ports/com2"
export FLASH89_FAKE_SERIAL="$ports/com1,$ports/com2" FLASH89_FAKE_TRACE="$ports/trace"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$ports}"
preload="$build/sim/libflash89_fake_serial.so"

# Without a screen the window goes to a virtual X display of its own, in a
# session of its own, so that the Ctrl+C that ends the window cannot end the
# display under it first.
start_virtual_display() {
  exec {display_fd}>"$ports/display"
  setsid Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  helpers+=($!)
  for _ in $(seq 100); do [ -s "$ports/display" ] && break; sleep 0.1; done
  [ -s "$ports/display" ] || { echo "== the virtual X display did not start"; exit 1; }
  export DISPLAY=":$(head -n1 "$ports/display")"
}
# Says $1 once the window is shown on the X display.
announce_window() {
  for _ in $(seq 300); do
    xdotool search --onlyvisible --name "$caption" >/dev/null 2>&1 && { echo "$1"; return; }
    sleep 0.1
  done
  echo "== the window has not shown within 30 s"
}

# Ctrl+C ends the program (flash89-cli stops its command first), which is
# how the window is ended without a screen; the script goes on to the report.
trap : INT
status=0
if [ "$mode" = cli ]; then
  case "${image,,}" in *.bin) command=bin ;; *) command=hex ;; esac
  echo "== flash89-cli $command: erases the simulated chip on COM2 and writes $image"
  LD_PRELOAD="$preload" "$build/app/flash89-cli" --log "$command" "$image" || status=$?
else
  if [ -n "${DISPLAY:-}" ]; then
    shown="== the window is up on display $DISPLAY: try Flash hex on an image from tests/data; close it or press Ctrl+C here for what the chip received"
  elif [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "== the window opens on your screen: try Flash hex on an image from tests/data; close it or press Ctrl+C here for what the chip received"
  else
    echo "== no screen (neither DISPLAY nor WAYLAND_DISPLAY is set): the window opens on a virtual X display"
    start_virtual_display
    shown="== the window is up on the virtual X display $DISPLAY: no screen shows it, there is nothing to click; Ctrl+C ends it and shows what the chip received (scripts/run.sh --cli tries the same on the command line)"
  fi
  watcher=""
  [ -z "${shown:-}" ] || { announce_window "$shown" & watcher=$!; }
  LD_PRELOAD="$preload" "$build/app/flash89" || status=$?
  [ -z "$watcher" ] || kill "$watcher" 2>/dev/null || true
fi

interrupted=0
if [ "$status" = 130 ]; then
  echo "== $program ended by Ctrl+C"
  status=0 interrupted=1
elif [ "$status" != 0 ]; then
  echo "== $program failed with exit status $status"
fi
echo "== what the simulated chip on COM2 received"
report=0
"$build/sim/flash89_chip_report" "$ports/trace" "$ports/com2" || report=$?
# A timing violation in a run that ended by itself is a fault of the program.
[ "$report" = 0 ] || [ "$interrupted" = 1 ] || [ "$status" != 0 ] || status=1
exit "$status"
