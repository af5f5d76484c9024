# Sourced, not run: a person's clicks and typing on flash89.exe's window
# under Wine, and what its windows show. The caller sets work (its log is
# work/flash89.log), wine, window_text (window_text.exe), what
# chip_checks.sh needs and, once the window is shown, window. On exit the
# program started last (program) is ended, and a failure is reported; the
# work folder is scripts/test-windows.sh's, which keeps it then.

source "$(dirname "${BASH_SOURCE[0]}")/chip_checks.sh"

end_wine_run() {
  local status=$?
  [ -z "${program:-}" ] || kill "$program" 2>/dev/null || true
  end_of_run "$status"
}
trap end_wine_run EXIT

# wait_for SECONDS WHAT COMMAND...: polls until COMMAND succeeds.
wait_for() {
  local tenths=$(($1 * 10)) what=$2
  shift 2
  for _ in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
  fail "$what"
}
# The shown window titled exactly $1. Windows come and go while xdotool
# looks, which can make it fail: ask again.
shown_window() {
  local id
  for _ in 1 2 3; do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
  done
  return 1
}
# wait_window SECONDS TITLE: the window's id once it is shown.
wait_window() {
  for _ in $(seq $(($1 * 10))); do shown_window "$2" && return 0; sleep 0.1; done
  return 1
}
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
memo_line() { "$wine" "$window_text" memo 2>/dev/null | tr -d '\r' | sed -n "$(($1 + 1))p"; }
memo_line_is() { [ "$(memo_line "$1")" = "$2" ]; }
box() { "$wine" "$window_text" box Flash89 2>/dev/null | tr -d '\r'; }
box_shown() { "$wine" "$window_text" box Flash89 >/dev/null 2>&1; }
box_gone() { ! box_shown; }
# The open-file dialog: a file's name typed into it, then Return.
choose_file() {
  local dialog
  dialog=$(wait_window 30 Open) || fail "the open-file dialog did not appear"
  xdotool windowfocus --sync "$dialog" key ctrl+a type --delay 5 "$(windows_path "$1")"
  xdotool key Return
}
# The error box: its text, icon and buttons must be $1, then it is closed.
expect_error_box() {
  local shown
  wait_for 30 "no error box" box_shown
  shown=$(box)
  [ "$shown" = "$(printf '%s\nicon\nbutton OK' "$1")" ] || fail "error box shows: $shown"
  xdotool key Return
  wait_for 20 "the error box did not close" box_gone
}
