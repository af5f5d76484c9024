#!/usr/bin/env bash
# Regenerates the test images with real tools: sdcc compiles the program to
# Intel HEX (LF line ends), srec_cat converts it. Needs: sdcc srecord.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sdcc -mmcs51 --code-size 12288 -o "$work/" blink.c >/dev/null
cp "$work/blink.ihx" blink_lf.hex
# Gaps are filled as an erased chip has them, so both downloads give one flash.
srec_cat blink_lf.hex -intel -fill 0xFF -over blink_lf.hex -intel -o blink.bin -binary
srec_cat blink_lf.hex -intel -o blink_crlf.hex -intel -line-length=44 -crlf
srec_cat blink_lf.hex -intel -o blink_32.hex -intel -line-length=75
# A larger image spread over the flash, for the record sizes and the log clearing.
srec_cat -generate 0x0000 0x0400 -repeat-string "flash89 test image " -o big_1k.hex -intel
srec_cat big_1k.hex -intel -o big_1k.bin -binary
