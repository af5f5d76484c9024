# Sourced, not run: what the simulated chip made of a recorded run, for the
# end-to-end scripts. The caller sets work (a temporary folder; the
# program's log is work/flash89.log), chip_report, and the trace and device
# it reads (chip_trace, chip_device). A failure is told as failure_report.sh
# tells it.

source "$(dirname "${BASH_SOURCE[0]}")/failure_report.sh"
# What the simulated chip made of the trace: its instruction count, and
# whether its flash holds the file $1 from address 0, the rest erased.
instructions() { "$chip_report" "$chip_trace" "$chip_device" | sed -n 's/^Chip received \([0-9]*\) instructions.*/\1/p'; }
flash_holds() {
  "$chip_report" "$chip_trace" "$chip_device" "$work/flash" >"$work/report" || fail "timing: $(sed -n "/violation/,\$p" "$work/report")"
  local size
  size=$(stat -c %s "$1")
  cmp -n "$size" "$work/flash" "$1" || fail "the flash does not hold $1"
  [ "$(tail -c +"$((size + 1))" "$work/flash" | tr -d '\377' | wc -c)" -eq 0 ] ||
    fail "the flash beyond $1 is not erased"
}
chip_is_erased() {
  "$chip_report" "$chip_trace" "$chip_device" "$work/flash" >/dev/null || fail "timing of Erase"
  [ "$(tr -d '\377' <"$work/flash" | wc -c)" -eq 0 ] || fail "the chip is not erased"
}
