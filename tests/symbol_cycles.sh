#!/usr/bin/env bash
# Dependencies between the files of the lower layers point one way, checked
# on what the compiler made of them: in the given static libraries, each
# object file that leaves a symbol undefined depends on the one that defines
# it, and no chain of such dependencies may lead back to where it started.
# A weak symbol (a vtable, an inline function) counts as the file's that
# emits it, where no file defines it outright.
# Usage: symbol_cycles.sh LIBRARY...
set -euo pipefail
[ "$#" -gt 0 ] || { echo "usage: $0 LIBRARY..." >&2; exit 2; }

# nm -P prints "LIBRARY[OBJECT]: SYMBOL TYPE ...".
edges=$(for library in "$@"; do nm -A -P "$library"; done | awk '
  { file = $1; sub(/^.*\[/, "", file); sub(/\]:$/, "", file) }
  $3 ~ /^[TDBR]$/ { owner[$2] = file; strong[$2] = 1; next }
  # A vtable or an inline function that one file emits for its callers.
  $3 ~ /^[VW]$/ { if (!($2 in strong)) owner[$2] = file; next }
  $3 == "U" { used[file, $2] = 1 }
  END {
    for (key in used) {
      split(key, part, SUBSEP)
      if ((part[2] in owner) && owner[part[2]] != part[1]) print part[1], owner[part[2]]
    }
  }' | sort -u)

# tsort names the files of every loop it finds.
if ! loops=$(printf '%s\n' "$edges" | tsort 2>&1 >/dev/null) || [ -n "$loops" ]; then
  in_loop=$(printf '%s\n' "$loops" | sed -n 's/^tsort: //p' | grep -v 'input contains a loop' | sort -u)
  echo "symbol cycles: files that depend on each other through their symbols:"
  printf '%s\n' "$in_loop" | sed 's/^/  /'
  echo "  and the dependencies among them:"
  printf '%s\n' "$edges" | awk -v files="$in_loop" '
    BEGIN { n = split(files, f, "\n"); for (i = 1; i <= n; ++i) member[f[i]] = 1 }
    ($1 in member) && ($2 in member) { print "    " $1 " -> " $2 }'
  exit 1
fi
echo "symbol cycles: none among the files of $*"
