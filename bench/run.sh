#!/usr/bin/env bash
# Builds the benchmarks in release mode and prints their table. Fake ports
# only: COM1 absent, COM2 a fake device.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=build-release

scripts/install-deps.sh bench
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target flash89_bench flash89_bench_os \
  flash89_bench_ftdi flash89_startup_probe flash89_fake_serial >/dev/null

ports=$(mktemp -d)
trap 'rm -rf "$ports"' EXIT
touch "$ports/com2" "$ports/free" "$ports/slow" "$ports/faked"
export FLASH89_COM1="$ports/com1" FLASH89_COM2="$ports/com2" XDG_RUNTIME_DIR="$ports"

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
echo "Machine: $cpu, $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, Linux $(uname -r)"
echo
echo "| Figure | Measured | Target |"
echo "|---|---|---|"
"$build/bench/flash89_bench" tests/data "$build/bench/flash89_startup_probe"
FLASH89_FAKE_SERIAL="$ports/com2,$ports/free,$ports/slow:switch_us=1000,$ports/faked:faked_break" \
  FLASH89_FAKE_TRACE="$ports/trace" FLASH89_BENCH_PORTS="$ports" \
  LD_PRELOAD="$build/sim/libflash89_fake_serial.so" "$build/bench/flash89_bench_os" tests/data

"$build/bench/flash89_bench_ftdi"

syscalls() {
  strace -f -c -o "$ports/strace" "$build/bench/flash89_bench_os" "$1"
  awk '/ total$/ {print $4}' "$ports/strace"
}
idle=$(syscalls 0)
busy=$(syscalls 1000000)
echo "| System calls per clock reading (strace: $idle calls for 0 readings, $busy for 1,000,000) | $(awk -v a="$idle" -v b="$busy" 'BEGIN {printf "%.6f", (b - a) / 1e6}') | 0 |"
