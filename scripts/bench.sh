#!/usr/bin/env bash
# Builds and runs the benchmarks; each library operation is printed beside
# the best code for the same work on the engine's raw API, with their ratio.
# Arguments go to the benchmark program, e.g. --benchmark_filter=Sqlite or
# --benchmark_repetitions=2 (each figure then the best of two). Then 1, 2
# and 4 programs writing one database at once, and what a failover of a
# primary with a synchronous standby costs a writer.
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
cmake --build build-bench -j "${QZ_JOBS:-2}" --target qz_bench qz_writers_bench qz_failover_bench
./build-bench/bench/qz_bench "$@"
./build-bench/bench/qz_writers_bench

# The failover benchmark, on a primary and synchronous standby of its own.
unset QZ_PG_CLUSTER_HOSTS
eval "$(scripts/postgres-failover-cluster.sh start)"
trap 'scripts/postgres-failover-cluster.sh stop "${QZ_PG_CLUSTER_DIR:-}" || true; scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true' EXIT
[ -n "${QZ_PG_CLUSTER_HOSTS:-}" ] || { echo "the PostgreSQL failover cluster did not start" >&2; exit 1; }
./build-bench/bench/qz_failover_bench
