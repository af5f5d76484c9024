#!/usr/bin/env bash
# Checks flash89-<version>-win64.zip as a Windows user gets it: flash89.exe,
# flash89-cli.exe, the README and the licence; programs that need no DLL
# beside them (only the system's own), the window's with its version and icon.
# Usage: windows_package_contents.sh BUILD-DIR VERSION
set -euo pipefail
build=$1 version=$2
zip="$(cd "$build" && pwd)/flash89-$version-win64.zip"
[ -f "$zip" ] || { echo "no package $zip"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

folder="flash89-$version-win64"
contents=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
expected=$(printf '%s\n' "$folder/LICENCE.txt" "$folder/README.md" "$folder/flash89.exe" "$folder/flash89-cli.exe" | sort)
[ "$contents" = "$expected" ] || fail "contents: $(echo $contents)"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "$zip")
exe="$unpacked/$folder/flash89.exe"
grep -q "MIT" "$unpacked/$folder/LICENCE.txt" || fail "the licence is not the MIT licence"

for program in "$exe" "$unpacked/$folder/flash89-cli.exe"; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/ {print tolower($3)}'); do
    case "$dll" in
      kernel32.dll | advapi32.dll | user32.dll | gdi32.dll | comdlg32.dll | msvcrt.dll) ;;
      *) fail "${program##*/} needs $dll, which Windows does not have" ;;
    esac
  done
done
# Resource texts are UTF-16: dropping the zero bytes makes them plain.
resources=$(tr -d '\0' <"$exe" | grep -ao 'MAINICON\|ProductVersion[^A-Za-z]*'"$version" | sort -u)
grep -q MAINICON <<<"$resources" || fail "no icon"
grep -q "ProductVersion" <<<"$resources" || fail "no version $version"

[ "$failures" -eq 0 ] || exit 1
echo "package $zip: flash89.exe ($(stat -c %s "$exe") bytes), README, licence; system DLLs only; version and icon"
