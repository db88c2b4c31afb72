#!/usr/bin/env bash
# Builds and runs the benchmarks; each library operation is printed beside
# the same work on the engine's raw API, with their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
eval "$(scripts/postgres-test-server.sh start)"
trap 'scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true' EXIT
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQZ_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "${QZ_JOBS:-2}" --target qz_bench
./build-bench/bench/qz_bench "$@"
