# Sourced, not run: the real flash89 window on a virtual X display, as a
# person drives it. The caller sets `set -euo pipefail`, what chip_checks.sh
# needs, and once the program runs, program and window. It makes work, a
# temporary folder removed on exit, or kept with a report when the script
# fails (the program's log is work/flash89.log), and pids, the processes
# killed on exit. The programs keep their runtime files, settings and
# caches in work: Qt's file dialog writes its settings into the home.

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  local status=$?
  local i
  # The program before the display it is on, so that its log stays as it was.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  end_of_run "$status" owned
}
trap cleanup EXIT
source "$(dirname "${BASH_SOURCE[0]}")/chip_checks.sh"

mkdir -m 700 "$work/home" "$work/runtime"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME XDG_STATE_HOME

# A virtual display of its own; exports DISPLAY.
start_x_display() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/display")"
}

# The program's second window: the open-file dialog or the error box.
second_window() {
  local found=""
  for _ in $(seq 300); do
    found=$(xdotool search --onlyvisible --pid "$program" 2>/dev/null | grep -vx "$window" | head -n1 || true)
    [ -n "$found" ] && break
    sleep 0.1
  done
  echo "$found"
}

# The file's name typed into the open-file dialog, once it has the focus.
choose_file() {
  local dialog
  dialog=$(second_window)
  [ -n "$dialog" ] || fail "the open-file dialog did not appear"
  xdotool windowfocus --sync "$dialog"
  xdotool type --delay 10 "$1"
  xdotool key Return
}
