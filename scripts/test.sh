#!/usr/bin/env bash
# Builds flash89 and runs every test: once plainly, once with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh test
jobs=$(nproc)

for preset in default sanitize; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" >/dev/null
  echo "== $preset: test"
  ctest --preset "$preset" -j"$jobs"
done
