# Sourced, not run: a long stage says what it is doing, one line per step
# with the time it took, instead of staying silent for minutes.
#
#   step STAGE WHAT COMMAND...
#
# prints "== STAGE: WHAT ..." while COMMAND runs and its time when it ends;
# then COMMAND's errors and warnings, and the rest of its output only when
# it failed. Returns COMMAND's status. `set -e` does not act inside
# COMMAND: give it one program, or a function that returns its failures.

step() {
  local stage=$1 what=$2 start=$SECONDS status=0 output errors
  shift 2
  output=$(mktemp) errors=$(mktemp)
  printf '== %s: %s ...' "$stage" "$what"
  "$@" >"$output" 2>"$errors" || status=$?
  if [ "$status" = 0 ]; then
    echo " $((SECONDS - start)) s"
  else
    echo " failed after $((SECONDS - start)) s"
    tail -n 40 "$output"
  fi
  cat "$errors"
  rm -f "$output" "$errors"
  return "$status"
}
