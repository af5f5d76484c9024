#!/usr/bin/env bash
# Builds what users install, from a clone with nothing else done: the Debian
# package (build-package/flash89_<version>_amd64.deb) and the Windows zip
# (build-package-windows/flash89-<version>-win64.zip). Installs what it needs.
# A tree is configured once; later runs build only what changed. The zip
# comes from the test command's Windows tree when there is one: its
# programs are built the same way, and its tests do not go into the zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/steps.sh
jobs=$(nproc)
version=$(sed -n 's/^project(flash89 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

scripts/install-deps.sh package

# configure_once PRESET TREE
configure_once() {
  if [ -f "$2/CMakeCache.txt" ]; then
    echo "== package: $2 is configured already"
  else
    step package "configure $2" cmake --preset "$1"
  fi
}

configure_once package build-package
step package "build the Debian package in build-package" cmake --build --preset package -j"$jobs" --target package

if [ -f build-windows/CMakeCache.txt ]; then
  step package "build the Windows zip in build-windows" cmake --build build-windows -j"$jobs" --target package
  mkdir -p build-package-windows
  cp "build-windows/flash89-$version-win64.zip" build-package-windows/
else
  configure_once package-windows build-package-windows
  step package "build the Windows zip in build-package-windows" \
    cmake --build --preset package-windows -j"$jobs" --target package
fi

echo "== packages:"
ls -1 "$root/build-package/flash89_${version}_amd64.deb" "$root/build-package-windows/flash89-$version-win64.zip"
