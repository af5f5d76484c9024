#!/usr/bin/env bash
# Builds flash89 and starts its window on fake ports: COM1 is absent, COM2
# has a simulated AT89S8253 behind it. When the window closes, prints what
# the chip received. No real serial port is touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-release"

"$root/scripts/install-deps.sh" run
echo "== build: $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFLASH89_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target flash89 flash89_fake_serial flash89_chip_report >/dev/null

ports=$(mktemp -d)
trap 'rm -rf "$ports"' EXIT
touch "$ports/com2"
export FLASH89_COM1="$ports/com1" FLASH89_COM2="$ports/com2"
export FLASH89_FAKE_SERIAL="$ports/com1,$ports/com2" FLASH89_FAKE_TRACE="$ports/trace"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$ports}"

launcher=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "== no display: the window opens on a virtual X display; end it with Ctrl+C"
  launcher=(xvfb-run -a)
fi
echo "== flash89: COM1 absent, simulated chip on COM2; try the test images in tests/data"
# Ctrl+C ends the program; the script goes on to the report.
trap 'true' INT
status=0
LD_PRELOAD="$build/sim/libflash89_fake_serial.so" "${launcher[@]}" "$build/app/flash89" || status=$?
echo "== what the simulated chip on COM2 received"
"$build/sim/flash89_chip_report" "$ports/trace" "$ports/com2" || true
exit "$status"
