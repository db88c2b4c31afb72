#!/usr/bin/env bash
# Installs a build tree into a fresh prefix and uses it as a caller would,
# without LD_LIBRARY_PATH: the installed tool runs, a CMake project and a
# pkg-config build link against the installed libraries and run.
# Usage: scripts/install-check.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
scratch=$(mktemp -d)
trap 'rm -rf "$prefix" "$scratch"' EXIT
unset LD_LIBRARY_PATH

cmake --install "$build" --prefix "$prefix" >/dev/null
"$prefix/bin/gezhuan" --database "$scratch/tool.db" init >/dev/null

cmake -S tests/install -B "$scratch/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/build" >/dev/null
"$scratch/build/install_check" "$scratch"

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/$(gcc -print-multiarch 2>/dev/null || true)/pkgconfig"
# shellcheck disable=SC2046
g++ -std=c++17 tests/install/main.cpp -o "$scratch/pkg_config_check" $(pkg-config --cflags --libs QZNVGeZhuanDBCtrlU)
"$scratch/pkg_config_check" "$scratch"

# A moved prefix still runs: nothing refers to the path it was installed to.
mv "$prefix" "$prefix.moved"
prefix="$prefix.moved"
"$prefix/bin/gezhuan" --database "$scratch/tool.db" status >/dev/null
