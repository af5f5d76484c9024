#!/usr/bin/env bash
# Builds the Debian package and checks what a user installs with it: the
# programs, the window's menu entry and icon, the manuals and the README with its
# picture, the udev rule for FTDI adapters, dependencies on the Qt 6 and
# libftdi runtimes, and no lintian error or warning.
# Usage: package_contents.sh BUILD-DIR VERSION
set -euo pipefail
build=$1 version=$2

cmake --build "$build" --target package >/dev/null
deb="$build/flash89_${version}_amd64.deb"
[ -f "$deb" ] || { echo "no package $deb"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/flash89 ./usr/bin/flash89-cli ./usr/share/applications/flash89.desktop \
            ./usr/share/icons/hicolor/scalable/apps/flash89.svg ./usr/share/man/man1/flash89.1.gz \
            ./usr/share/man/man1/flash89-cli.1.gz \
            ./usr/share/doc/flash89/README.md ./usr/share/doc/flash89/copyright \
            ./usr/share/doc/flash89/changelog.gz ./usr/share/doc/flash89/docs/flash89-window.png \
            ./lib/udev/rules.d/60-flash89-ftdi.rules ./usr/share/metainfo/flash89.metainfo.xml; do
  grep -qxF "$path" <<<"$contents" || fail "missing $path"
done

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6gui6 libqt6core6 libftdi1-2 libc6; do
  grep -q "$library" <<<"$depends" || fail "no dependency on $library: $depends"
done

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/flash89.desktop" || fail "desktop entry"
grep -q '^Categories=Development;Electronics;$' "$unpacked/usr/share/applications/flash89.desktop" ||
  fail "desktop entry categories"

# Both programs run as installed and know their version, the window's
# without a display.
[ "$("$unpacked/usr/bin/flash89-cli" --version)" = "flash89-cli $version" ] || fail "flash89-cli --version"
window_version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$unpacked/usr/bin/flash89" --version 2>&1) ||
  true
[ "$window_version" = "flash89 $version" ] || fail "flash89 --version without a display: $window_version"

rule="$unpacked/lib/udev/rules.d/60-flash89-ftdi.rules"
grep -q 'ATTR{idVendor}=="0403"' "$rule" && grep -q 'GROUP="dialout"' "$rule" || fail "udev rule for FTDI adapters"

# lintian leaves a database of the ELF files it read in its TMPDIR.
if TMPDIR="$unpacked" lintian --no-tag-display-limit "$deb" 2>/dev/null | grep -E '^(E|W):'; then
  fail "lintian"
fi

[ "$failures" -eq 0 ] || exit 1
echo "package $deb: contents, dependencies and lintian as expected"
