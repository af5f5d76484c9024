#!/usr/bin/env bash
# Cross-builds flash89.exe, its zip and the tests for Windows with mingw-w64
# and runs them under Wine on a virtual display, on fake ports only (see
# scripts/wine-fake-ports.sh): the core's tests, the Win32 serial layer and
# window, and the real flash89.exe driven end to end by simulated input, on
# a serial port and on an FTDI adapter. FTDI's D2XX library is a fake in
# Wine's system directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/wine-fake-ports.sh

echo "== windows: cross-build"
cmake --preset windows -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" >/dev/null
cmake --build --preset windows -j"$(nproc)" >/dev/null
echo "== windows: package"
(cd build-windows && cpack -G ZIP >/dev/null)
tests/windows_package_contents.sh build-windows "$(sed -n 's/^project(flash89 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

if ! wine_runs; then
  echo "== windows: Wine cannot run on this machine; the Windows program and tests were built, not run"
  exit 0
fi

cmake --preset default >/dev/null
cmake --build --preset default --target flash89_fake_serial flash89_chip_report >/dev/null

work=$(mktemp -d)
cleanup() {
  wine_fake_ports_cleanup
  rm -rf "$work"
}
trap cleanup EXIT

echo "== windows: virtual display, Wine prefix with COM1 and COM2 on fake devices"
start_virtual_display "$work"
start_wine_on_fake_ports "$work" "$root/build/sim/libflash89_fake_serial.so"
# FTDI's D2XX library, faked: the only ftd2xx.dll the Windows build can load.
cp build-windows/sim/ftd2xx.dll "$WINEPREFIX/drive_c/windows/system32/ftd2xx.dll"

echo "== windows: tests under Wine"
ctest --test-dir build-windows --output-on-failure

echo "== windows: flash89.exe end to end"
tests/end_to_end_windows.sh "$work" build-windows/app/flash89.exe build-windows/tests/window_text.exe \
  build/sim/flash89_chip_report tests/data

echo "== windows: flash89.exe end to end on an FTDI adapter"
tests/end_to_end_windows_ftdi.sh "$work" build-windows/app/flash89.exe build-windows/tests/window_text.exe \
  build/sim/flash89_chip_report tests/data
