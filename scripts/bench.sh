#!/usr/bin/env bash
# Builds and runs the benchmarks; each library operation is printed beside
# the best code for the same work on the engine's raw API, with their ratio.
# Arguments go to the benchmark program, e.g. --benchmark_filter=Sqlite or
# --benchmark_repetitions=2 (each figure then the best of two).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
eval "$(scripts/postgres-test-server.sh start)"
trap 'scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true' EXIT
eval "$(scripts/odbc-test-sources.sh start)"
trap '[ -z "${QZ_ODBC_DIR:-}" ] || scripts/odbc-test-sources.sh stop "$QZ_ODBC_DIR" || true
  scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true' EXIT
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQZ_BUILD_TESTS=OFF -DQZ_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build build-bench -j "${QZ_JOBS:-2}" --target qz_bench
./build-bench/bench/qz_bench "$@"
