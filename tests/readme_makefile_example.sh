#!/usr/bin/env bash
# The README's Makefile example as written, on a fake port: `make flash`
# runs the real flash89-cli, and the simulated chip's flash must then hold
# the image byte for byte. The image is there already, newer than its
# source, so that make needs no sdcc.
# Usage: readme_makefile_example.sh README CLI PRELOAD CHIP_REPORT HEX BIN
set -euo pipefail
readme=$1 cli=$2 preload=$3 chip_report=$4 hex=$5 bin=$6

work=$(mktemp -d)
trap 'end_of_run $? owned' EXIT
chip_trace="$work/trace" chip_device="$work/com2"
source "$(dirname "$0")/chip_checks.sh"
cd "$work"
awk '/^```make$/ { inside = 1; next } /^```$/ { inside = 0 } inside' "$readme" >Makefile
grep -q 'flash89-cli' Makefile || fail "the README has no Makefile example with flash89-cli"
touch -d '2000-01-01' blink.c
cp "$hex" blink.hex
touch com2

# make's output, flash89-cli's messages among it, is the log that fail shows.
PATH="$(dirname "$cli"):$PATH" LD_PRELOAD="$preload" FLASH89_FAKE_SERIAL="$work/com1,$work/com2" \
  FLASH89_COM1="$work/com1" FLASH89_COM2="$work/com2" FLASH89_FAKE_TRACE="$work/trace" \
  make flash >flash89.log 2>&1 || fail "make flash failed"
grep -qx 'flash89-cli: Chip gelöscht und beschrieben' flash89.log || fail "flash89-cli did not say that it wrote the chip"
flash_holds "$bin"
echo "make flash: the chip's flash holds the image"
