#!/usr/bin/env bash
# Cross-builds the Qt-free core and its tests for Windows with mingw-w64 and
# runs them under Wine, on fake ports only: COM1 is a pseudo-terminal, COM2
# names nothing, and the fake serial device is preloaded into every Wine
# process so that no real serial device can be opened, whatever Wine maps.
# FTDI's D2XX library is a fake in Wine's system directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

echo "== windows: cross-build"
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DFLASH89_WINDOW=OFF -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" >/dev/null
cmake --build build-windows -j"$(nproc)" >/dev/null

if ! [ -x "$wine" ] || ! "$wine" --version >/dev/null 2>&1; then
  echo "== windows: Wine cannot run on this machine; the Windows tests were built, not run"
  exit 0
fi

cmake --preset default >/dev/null
cmake --build --preset default --target flash89_fake_serial >/dev/null
shim="$root/build/sim/libflash89_fake_serial.so"

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LD_PRELOAD="$shim" FLASH89_FAKE_SERIAL="" FLASH89_COM1=wine-com1 FLASH89_COM2=wine-com2
socat_pid=""
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  [ -z "$socat_pid" ] || kill "$socat_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== windows: Wine prefix with COM1 on a pseudo-terminal, COM2 on nothing"
"$wine" wineboot -i >/dev/null 2>&1
# A Wine process reads its own memory map: the shim must be in it.
if ! "$wine" cmd /c type 'Z:\proc\self\maps' 2>/dev/null | grep -q libflash89_fake_serial; then
  echo "the fake serial device is not loaded into Wine: refusing to run with real ports reachable"
  exit 1
fi
socat "PTY,link=$work/com1,raw,echo=0" "PTY,link=$work/com1-peer,raw,echo=0" &
socat_pid=$!
for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done
# Ports named here come before any that Wine finds on the machine.
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$work/com1" /f >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM2 /t REG_SZ /d "$work/no-com2" /f >/dev/null 2>&1
"$wineserver" -k
"$wineserver" -w
# FTDI's D2XX library, faked: the only ftd2xx.dll the Windows build can load.
cp build-windows/sim/ftd2xx.dll "$WINEPREFIX/drive_c/windows/system32/ftd2xx.dll"

echo "== windows: tests under Wine"
ctest --test-dir build-windows --output-on-failure
