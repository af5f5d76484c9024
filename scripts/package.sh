#!/usr/bin/env bash
# Builds what users install, from a clone with nothing else done: the Debian
# package (build-package/flash89_<version>_amd64.deb) and the Windows zip
# (build-package-windows/flash89-<version>-win64.zip). Installs what it needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

scripts/install-deps.sh run
scripts/install-deps.sh package

echo "== package: Debian"
cmake --preset package >/dev/null
cmake --build --preset package -j"$jobs" --target package >/dev/null

echo "== package: Windows"
cmake --preset package-windows >/dev/null
cmake --build --preset package-windows -j"$jobs" --target package >/dev/null

echo "== packages:"
ls -1 "$root"/build-package/flash89_*.deb "$root"/build-package-windows/flash89-*-win64.zip
