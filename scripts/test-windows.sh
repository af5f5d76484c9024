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
source scripts/steps.sh
jobs=$(nproc)

step windows "configure the cross-build" cmake --preset windows -DCMAKE_CROSSCOMPILING_EMULATOR="$wine"
step windows "cross-build flash89.exe, flash89-cli.exe and the tests" cmake --build --preset windows -j"$jobs"
package_zip() { (cd build-windows && cpack -G ZIP); }
step windows "package the zip" package_zip
tests/windows_package_contents.sh build-windows "$(sed -n 's/^project(flash89 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

if ! wine_runs; then
  echo "== windows: Wine cannot run on this machine; the Windows program and tests were built, not run"
  exit 0
fi

step windows "configure the native build, for its fakes" cmake --preset default
step windows "build the fake serial device and the chip report" \
  cmake --build --preset default -j"$jobs" --target flash89_fake_serial flash89_chip_report

# Kept when anything failed, for a look at the logs and traces in it.
work=$(mktemp -d)
cleanup() {
  local status=$?
  wine_fake_ports_cleanup
  if [ "$status" = 0 ]; then
    rm -rf "$work"
  else
    echo "== windows: the work folder is kept: $work"
  fi
}
trap cleanup EXIT

echo "== windows: virtual display, Wine prefix with COM1 to COM3 on fake devices"
start=$SECONDS
start_virtual_display "$work"
start_wine_on_fake_ports "$work" "$root/build/sim/libflash89_fake_serial.so"
# FTDI's D2XX library, faked: the only ftd2xx.dll the Windows build can load.
cp build-windows/sim/ftd2xx.dll "$WINEPREFIX/drive_c/windows/system32/ftd2xx.dll"
echo "== windows: ready after $((SECONDS - start)) s"

# Each part runs whatever an earlier one did; the script fails at the end
# if any failed.
failed=()
part() {
  local what=$1 start=$SECONDS
  shift
  echo "== windows: $what"
  if "$@"; then
    echo "== windows: $what: passed in $((SECONDS - start)) s"
  else
    echo "== windows: $what: FAILED after $((SECONDS - start)) s"
    failed+=("$what")
  fi
}
part "tests under Wine" ctest --test-dir build-windows --output-on-failure
part "flash89.exe end to end" tests/end_to_end_windows.sh "$work" build-windows/app/flash89.exe \
  build-windows/tests/window_text.exe build/sim/flash89_chip_report tests/data
part "flash89.exe end to end on an FTDI adapter" tests/end_to_end_windows_ftdi.sh "$work" \
  build-windows/app/flash89.exe build-windows/tests/window_text.exe build/sim/flash89_chip_report tests/data
if [ ${#failed[@]} -gt 0 ]; then
  printf '== windows: FAILED: %s\n' "${failed[@]}"
  exit 1
fi
