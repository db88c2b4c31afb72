#!/usr/bin/env bash
# Builds the tool as scripts/run.sh does, installs the build tree into a
# fresh prefix and uses it as a caller would, without LD_LIBRARY_PATH: the
# installed tool runs, a CMake project and a pkg-config build link against
# the installed libraries and run.
# Usage: scripts/install-check.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
scratch=$(mktemp -d)
trap 'rm -rf "$prefix" "$scratch"' EXIT
unset LD_LIBRARY_PATH

# The README's path: scripts/run.sh, then cmake --install. run.sh builds
# only the targets it names; take the tool and the files generated from it
# away so that run.sh has to make them again, and whatever it leaves out
# fails the install below. It installs no test server.
if bash scripts/deps.sh --list run | grep -q -E '^(postgresql|mariadb|odbc-|libsqliteodbc|libgtest|googletest|wine)'; then
  echo "scripts/deps.sh run lists what only the tests need" >&2
  exit 1
fi
rm -f "$build/gezhuan" "$build/gezhuan.bash" "$build/_gezhuan" "$build/gezhuan.1"
if ! XDG_DATA_HOME="$scratch/data" QZ_BUILD_DIR="$build" bash scripts/run.sh >"$scratch/run.log" 2>&1; then
  cat "$scratch/run.log" >&2
  exit 1
fi
grep -q 'Built target gezhuan' "$scratch/run.log" || { echo "run.sh showed no build progress" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for installed in bin/gezhuan share/man/man1/gezhuan.1 share/bash-completion/completions/gezhuan \
  share/zsh/site-functions/_gezhuan; do
  [ -f "$prefix/$installed" ] || { echo "cmake --install left out $installed" >&2; exit 1; }
done
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
