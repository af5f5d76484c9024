#!/usr/bin/env bash
# Builds flash89 and runs every test: the HEX reader's fuzz target for a
# while, the Windows build of the core under Wine, then the test suite once
# plainly and once with AddressSanitizer and UndefinedBehaviorSanitizer.
# Every stage runs, whatever an earlier one did; each says how it ended and
# how long it took, and the script fails at the end if any stage failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/steps.sh

scripts/install-deps.sh test
jobs=$(nproc)
fuzz_seconds=${FLASH89_FUZZ_SECONDS:-20}
temp=$(mktemp -d)
trap 'rm -rf "$temp"' EXIT

fuzz() {
  step fuzz configure cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Debug -DFLASH89_FUZZ=ON -DFLASH89_WINDOW=OFF -DFLASH89_TESTS=OFF
  step fuzz build cmake --build build-fuzz --target hex_reader_fuzz -j"$jobs"
  echo "== fuzz: the HEX reader, $fuzz_seconds s from the seed corpus"
  mkdir "$temp/corpus"
  build-fuzz/tests/fuzz/hex_reader_fuzz -max_total_time="$fuzz_seconds" -max_len=4096 \
    -timeout=5 -print_final_stats=0 "$temp/corpus" tests/fuzz/seeds 2>"$temp/fuzz.log" ||
    { tail -n 40 "$temp/fuzz.log"; return 1; }
  tail -n 1 "$temp/fuzz.log"
}

# The suite of one preset; ctest's own lines, its closing ones included,
# are shown as they come.
suite() {
  local preset=$1
  step "$preset" configure cmake --preset "$preset"
  step "$preset" build cmake --build --preset "$preset" -j"$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j"$jobs" | tee "$temp/$preset.ctest"
}

# run_stage NAME COMMAND...: COMMAND in a shell of its own that stops at
# its first failure, while this script goes on to the next stage.
summary=()
failed=0
run_stage() {
  local name=$1 start=$SECONDS status=0 result tests
  shift
  set +e
  (
    set -e
    "$@"
  )
  status=$?
  set -e
  if [ "$status" = 0 ]; then result=passed; else result=FAILED failed=$((failed + 1)); fi
  tests=$(grep -m1 'tests passed' "$temp/$name.ctest" 2>/dev/null || true)
  summary+=("== $name: $result in $((SECONDS - start)) s${tests:+ ($tests)}")
  echo "${summary[-1]}"
}

run_stage fuzz fuzz
run_stage windows scripts/test-windows.sh
run_stage default suite default
run_stage sanitize suite sanitize

echo "== summary"
printf '%s\n' "${summary[@]}"
[ "$failed" = 0 ] || { echo "== $failed of ${#summary[@]} stages failed"; exit 1; }
