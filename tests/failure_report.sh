# Sourced, not run: how an end-to-end script ends. When it fails, by fail
# or by any command that `set -e` stopped on, it shows why: the programs'
# messages, what the simulated chip made of the trace, and the trace's last
# lines; and the work folder stays, named, for a closer look.
#
# The caller sets work (its programs' messages are work/*.log and
# work/*.out), and once they are known chip_report, chip_trace and
# chip_device. Its EXIT trap calls end_of_run with the script's status;
# the folder is removed on success when the caller says it owns it
# (end_of_run STATUS owned).

fail() {
  echo "FAIL: $*"
  exit 1
}

report_failure() {
  local file shown=""
  for file in "$work"/*.log "$work"/*.out; do
    [ -e "$file" ] || continue
    if [ -s "$file" ]; then
      echo "-- ${file##*/}, last 40 lines:"
      tail -n 40 "$file"
    else
      echo "-- ${file##*/}: empty"
    fi
  done
  if [ -n "${chip_report:-}" ] && [ -s "${chip_trace:-}" ]; then
    # Its instructions and timing; the flash's bytes are left out.
    echo "-- what the simulated chip on $chip_device made of $chip_trace:"
    { "$chip_report" "$chip_trace" "$chip_device" 2>&1 || true; } | grep -Ev '^[0-9A-F]{4}  ' | head -n 40 || true
  fi
  for file in "${chip_trace:-}" "$work/trace"; do
    [ -s "$file" ] || continue
    [ "$file" != "$shown" ] || continue
    shown=$file
    echo "-- $file, last 20 lines:"
    tail -n 20 "$file"
  done
}

end_of_run() {
  local status=$1 owned=${2:-}
  if [ "$status" != 0 ]; then
    report_failure
    echo "-- the work folder is kept: $work"
  elif [ "$owned" = owned ]; then
    rm -rf "$work"
  fi
}
