#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing flash89
# need, and only those that are missing. Runs apt-get through sudo when not
# root. Usage: scripts/install-deps.sh [run|test|bench|package]
set -euo pipefail

run_packages=(build-essential cmake qt6-base-dev libftdi1-dev xvfb xdotool)
test_packages=(libgtest-dev libbenchmark-dev clang libclang-rt-14-dev dpkg-dev file lintian
               desktop-file-utils g++-mingw-w64-x86-64 googletest wine64)

bench_packages=(strace)
# CPack's Debian generator reads the program's library needs with
# dpkg-shlibdeps, which needs file; the zip needs the cross compiler.
package_packages=(dpkg-dev file g++-mingw-w64-x86-64)

packages=("${run_packages[@]}")
case "${1:-run}" in
  test) packages+=("${test_packages[@]}") ;;
  bench) packages+=("${bench_packages[@]}") ;;
  package) packages+=("${package_packages[@]}") ;;
esac

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "== packages: all present"
  exit 0
fi

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "== packages: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
