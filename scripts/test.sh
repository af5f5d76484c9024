#!/usr/bin/env bash
# Builds flash89 and runs every test: the HEX reader's fuzz target for a
# while, the Windows build of the core under Wine, then the test suite once
# plainly and once with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh test
jobs=$(nproc)

echo "== fuzz: the HEX reader, ${FLASH89_FUZZ_SECONDS:-20} s from the seed corpus"
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DFLASH89_FUZZ=ON -DFLASH89_WINDOW=OFF -DFLASH89_TESTS=OFF >/dev/null
cmake --build build-fuzz --target hex_reader_fuzz -j"$jobs" >/dev/null
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
build-fuzz/tests/fuzz/hex_reader_fuzz -max_total_time="${FLASH89_FUZZ_SECONDS:-20}" -max_len=4096 \
  -timeout=5 -print_final_stats=0 "$corpus" tests/fuzz/seeds 2>"$corpus.log" ||
  { tail -n 40 "$corpus.log"; rm -f "$corpus.log"; exit 1; }
tail -n 1 "$corpus.log"
rm -f "$corpus.log"

scripts/test-windows.sh

for preset in default sanitize; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" >/dev/null
  echo "== $preset: test"
  ctest --preset "$preset" -j"$jobs"
done
