#!/usr/bin/env bash
# Builds and runs the benchmarks; each library operation is printed beside
# the best code for the same work on the engine's raw API: the median of the
# paired rounds' times and ratios, and the range of the ratios. Arguments go
# to the benchmark program, e.g. --benchmark_filter=Sqlite or
# --benchmark_repetitions=2 (the pairs of both repetitions pooled). Then 1,
# 2 and 4 programs writing one database at once, and what a failover of a
# primary with a synchronous standby costs a writer.
#
#   scripts/bench.sh [--instructions] [benchmark arguments]
#
# --instructions first runs the benchmark program once under callgrind, one
# counted pair per benchmark, and prints the instructions each side took
# (the client's own, which the machine's load does not move) beside each
# time ratio.
#
# The machine's load average is printed before and after: time ratios
# measured under load are noisy.
set -euo pipefail
cd "$(dirname "$0")/.."

instructions=0
if [ "${1:-}" = --instructions ]; then
  instructions=1
  shift
fi

bash scripts/deps.sh

# Every server this script starts, stopped on any exit.
QZ_PG_DIR= QZ_ODBC_DIR= QZ_PG_CLUSTER_DIR= counts_dir=
stop_all() {
  [ -z "$QZ_PG_CLUSTER_DIR" ] || scripts/postgres-failover-cluster.sh stop "$QZ_PG_CLUSTER_DIR" || true
  [ -z "$QZ_ODBC_DIR" ] || scripts/odbc-test-sources.sh stop "$QZ_ODBC_DIR" || true
  [ -z "$QZ_PG_DIR" ] || scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true
  [ -z "$counts_dir" ] || rm -rf -- "$counts_dir"
}
trap stop_all EXIT

eval "$(scripts/postgres-test-server.sh start)"
eval "$(scripts/odbc-test-sources.sh start)"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQZ_BUILD_TESTS=OFF -DQZ_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build build-bench -j "${QZ_JOBS:-2}" --target qz_bench qz_writers_bench qz_failover_bench

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
if [ "$instructions" = 1 ]; then
  # Instrumentation is off but around each side of the counted pair; each
  # side's counts are dumped to a file of their own, described
  # "<benchmark> <side>", and summed up here.
  counts_dir=$(mktemp -d "${TMPDIR:-/tmp}/qz-bench-callgrind.XXXXXX")
  valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$counts_dir/callgrind.out" \
    ./build-bench/bench/qz_bench "$@" >"$counts_dir/run.log" 2>&1 ||
    { cat "$counts_dir/run.log" >&2; exit 1; }
  for dump in "$counts_dir"/callgrind.out*; do
    awk '/^desc: Trigger: Client Request: / { name = $(NF - 1); side = $NF }
         /^summary:/ { summary = $2 }
         /^totals:/ { total = $2 }
         END { if (total == "") total = summary; if (name != "" && total != "") print name, side, total }' "$dump"
  done >"$counts_dir/instructions"
  export QZ_BENCH_INSTRUCTIONS=$counts_dir/instructions
fi
./build-bench/bench/qz_bench "$@"
./build-bench/bench/qz_writers_bench

# The failover benchmark, on a primary and synchronous standby of its own.
unset QZ_PG_CLUSTER_HOSTS
eval "$(scripts/postgres-failover-cluster.sh start)"
[ -n "${QZ_PG_CLUSTER_HOSTS:-}" ] || { echo "the PostgreSQL failover cluster did not start" >&2; exit 1; }
./build-bench/bench/qz_failover_bench
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
