#!/usr/bin/env bash
# The layers' rules, checked on the sources: each layer includes only the
# layers below it, only the front ends know a toolkit, and every German text
# the user reads lives in the messages module.
# Usage: layering.sh SOURCE-ROOT
set -euo pipefail
cd "$1"
status=0

# Files of the given folders whose #include lines match a pattern.
includes() {
  local pattern=$1
  shift
  grep -rlE "^#include [<\"]($pattern)" --include='*.h' --include='*.cpp' --include='*.c' "$@" 2>/dev/null || true
}

refuse() {
  local rule=$1 found=$2
  if [ -n "$found" ]; then
    echo "layering: $rule:"
    echo "$found" | sed 's/^/  /'
    status=1
  fi
}

refuse "image/ reads files only" "$(includes 'serial/|isp/|commands/|ui/|sim/' image)"
refuse "isp/ builds on serial/ only" "$(includes 'image/|commands/|ui/|sim/' isp)"
refuse "serial/ is the bottom layer" "$(includes 'image/|isp/|commands/|ui/|sim/' serial)"
refuse "commands/ knows no front end" "$(includes 'ui/|app/|sim/' commands)"
refuse "front ends program the chip through commands/ only" "$(includes 'isp/' ui app)"
refuse "front ends reach the port through commands/ only" "$(includes 'serial/' ui app)"
refuse "the window's behaviour knows no toolkit" "$(includes 'Q[A-Za-z]+|windows\.h|ui/qt/|ui/win32/' ui/form)"
refuse "the command-line program knows no window" "$(includes 'Q[A-Za-z]+|ui/qt/|ui/win32/|ui/form/' ui/cli)"
refuse "the command-line program knows Win32 only in its console" \
  "$(includes 'windows\.h' ui/cli | grep -v '^ui/cli/console_win32\.cpp$' || true)"
refuse "only the Qt front end knows Qt" \
  "$(includes 'Q[A-Za-z]+[>"]|QtWidgets|QtCore' serial image isp commands ui/form sim | grep -v '^ui/qt/' || true)"
refuse "only the platform layer and the Win32 front end know Win32" \
  "$(includes 'windows\.h|commdlg\.h' image isp commands ui/form ui/qt |
    grep -v '^image/rename_over_win32\.cpp$' || true)"

# German texts: umlauts, or the words of the status and fault texts, in
# string literals of the program's code.
german=$(grep -rnE '"[^"]*([äöüÄÖÜß]|geöffnet|nicht bereit|Zeile |Datei|unterbrochen|Endesatz)[^"]*"' \
  --include='*.h' --include='*.cpp' --include='*.c' serial image isp commands ui app 2>/dev/null |
  grep -vE '^commands/messages\.(h|cpp):|^[^:]+:[0-9]+: *//' || true)
refuse "user-visible German texts belong in the messages module" "$german"

[ "$status" -eq 0 ] && echo "layering: every rule holds"
exit "$status"
