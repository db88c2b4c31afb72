#!/usr/bin/env bash
# Builds gezhuan, creates the embedded database with a sample catalogue and
# sample tasks (once), and lists the tasks. Arguments go to `gezhuan task
# list`; the database is $XDG_DATA_HOME/qz/gezhuan.db (~/.local/share/...).
# Installs only what building and running need (scripts/test.sh installs the
# test servers as well), and builds what `cmake --install build` installs:
# the libraries, the tool, its completion scripts and manual page.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QZ_BUILD_DIR:-build}
bash scripts/deps.sh run
# A build folder made here leaves out the tests and benchmarks, which need
# packages running does not; one configured otherwise keeps its settings.
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "== configuring $build/"
  cmake -S . -B "$build" -DQZ_BUILD_TESTS=OFF -DQZ_BUILD_BENCH=OFF >/dev/null
  echo "== building gezhuan in $build/ (the first time takes a few minutes)"
else
  cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" -j "${QZ_JOBS:-2}" --target gezhuan gezhuan_docs
"$build/gezhuan" init --sample
"$build/gezhuan"
"$build/gezhuan" task list "$@"
