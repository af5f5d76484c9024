#!/usr/bin/env bash
# flash89-cli on a fake FTDI adapter in real time, on a busy host: two
# CPU-bound processes run beside it, or as many as asked, at the niceness
# asked (a negative one, as root, takes the host from the program harder). Alternates erase and hex --pages, the
# given number of commands under each baud multiplier, and counts the
# commands refused (exit status 4, a lost port), those that ended well but
# whose erase the simulated chip on the adapter's pins never saw, and the
# timing violations that the chip found in each.
# Usage: bench/ftdi_busy_host.sh [BUILD-DIR [COMMANDS [BUSY [NICENESS]]]]
#        (default: build 50 2 0)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
commands=${2:-50}
busy=${3:-2}
niceness=${4:-0}
cli=$build/app/flash89-cli
chip_report=$build/sim/flash89_chip_report
preloads="$build/sim/libflash89_fake_serial.so $build/sim/libflash89_fake_ftdi.so"
for file in "$cli" "$chip_report" $preloads; do
  [ -e "$file" ] || { echo "missing $file: build the default preset first" >&2; exit 2; }
done

work=$(mktemp -d)
hogs=()
stop() {
  for hog in "${hogs[@]}"; do kill "$hog" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop EXIT
for ((i = 0; i < busy; ++i)); do
  # Spinning in the shell, with no system call to yield at.
  nice -n "$niceness" sh -c 'while :; do :; done' &
  hogs+=($!)
done

touch "$work/com2"
export FLASH89_COM2="$work/com2" FLASH89_FAKE_SERIAL="$work/com2" \
  FLASH89_FAKE_TRACE="$work/trace" XDG_RUNTIME_DIR="$work"
echo "| Multiplier | Commands | Refused | Other failures | Not erased | Timing violations |"
echo "|---|---|---|---|---|---|"
for samples_per_baud in 4 16; do
  refused=0 failed=0 unseen=0 violations=0
  for ((i = 0; i < commands; ++i)); do
    if ((i % 2 == 0)); then action=(erase); else action=(hex --pages "$root/tests/data/blink_lf.hex"); fi
    : >"$work/adapter-trace"
    status=0
    FLASH89_FAKE_FTDI="$work/com2:$samples_per_baud" FLASH89_FAKE_FTDI_TRACE="$work/adapter-trace" \
      LD_PRELOAD="$preloads" "$cli" -q --port COM2 "${action[@]}" >"$work/out" 2>&1 || status=$?
    case $status in
      0) ;;
      4) refused=$((refused + 1)) ;;
      *) failed=$((failed + 1)); echo "  ${action[0]} ended with $status: $(cat "$work/out")" >&2 ;;
    esac
    report=$("$chip_report" "$work/adapter-trace" ftdi:com2 || true)
    [ "$status" != 0 ] || grep -q "^  Chip Erase$" <<<"$report" || unseen=$((unseen + 1))
    found=$(sed -n 's/^\([0-9]*\) timing violations:$/\1/p' <<<"$report")
    violations=$((violations + ${found:-0}))
  done
  echo "| x$samples_per_baud | $commands | $refused | $failed | $unseen | $violations |"
done
