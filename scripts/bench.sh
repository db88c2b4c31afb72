#!/usr/bin/env bash
# Builds and runs the benchmarks; each library operation is printed beside
# the best code for the same work on the engine's raw API: the median of the
# paired rounds' times and ratios, and the range of the ratios. Arguments go
# to the benchmark program, e.g. --benchmark_filter=Sqlite or
# --benchmark_repetitions=2 (the pairs of both repetitions pooled). Then 1,
# 2 and 4 programs writing one database at once, and what a failover of a
# primary with a synchronous standby costs a writer.
#
# The PostgreSQL and ODBC benchmarks run on loopback, then again through a
# relay on loopback that holds every chunk 0.5 ms and then 1 ms in each
# direction (bench/relay; a round trip of 1 ms and 2 ms more, as on a
# site's network). Their PgRoundTrip and OdbcMariaRoundTrip lines time a
# raw "select 1" through it, which checks the relay.
#
#   scripts/bench.sh [--instructions] [benchmark arguments]
#   scripts/bench.sh --large [TASKS]
#
# --large adds, lists and filters TASKS tasks (default 1,000,000) of 10
# items on SQLite and PostgreSQL through the library (bench/LargeBench.cpp):
# how the per-task cost at that size compares with 10,000 tasks, and the
# listing's peak memory against its result. It takes long and several GB,
# and runs nothing else.
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

instructions=0 large=
if [ "${1:-}" = --instructions ]; then
  instructions=1
  shift
elif [ "${1:-}" = --large ]; then
  large=${2:-1000000}
  shift $(($# > 1 ? 2 : 1))
fi

bash scripts/deps.sh

# Every server this script starts, stopped on any exit.
QZ_PG_DIR= QZ_ODBC_DIR= QZ_PG_CLUSTER_DIR= counts_dir= relay_dir=
relay_pids=()
stop_all() {
  for pid in "${relay_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -z "$relay_dir" ] || rm -rf -- "$relay_dir"
  [ -z "$QZ_PG_CLUSTER_DIR" ] || scripts/postgres-failover-cluster.sh stop "$QZ_PG_CLUSTER_DIR" || true
  [ -z "$QZ_ODBC_DIR" ] || scripts/odbc-test-sources.sh stop "$QZ_ODBC_DIR" || true
  [ -z "$QZ_PG_DIR" ] || scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true
  [ -z "$counts_dir" ] || rm -rf -- "$counts_dir"
}
trap stop_all EXIT

eval "$(scripts/postgres-test-server.sh start)"
[ -n "$large" ] || eval "$(scripts/odbc-test-sources.sh start)"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQZ_BUILD_TESTS=OFF -DQZ_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build build-bench -j "${QZ_JOBS:-2}" --target qz_bench qz_writers_bench qz_failover_bench qz_delay_relay

# Starts a relay to $1:$2 holding each chunk $3 microseconds each way; sets
# relay_port to the port it listens on.
start_relay() {
  [ -n "$relay_dir" ] || relay_dir=$(mktemp -d "${TMPDIR:-/tmp}/qz-bench-relay.XXXXXX")
  local out="$relay_dir/relay.${#relay_pids[@]}" tries
  ./build-bench/bench/qz_delay_relay "$1" "$2" "$3" >"$out" &
  relay_pids+=($!)
  for tries in $(seq 1 50); do
    relay_port=$(head -n 1 "$out")
    [ -n "$relay_port" ] && return 0
    sleep 0.1
  done
  echo "the delay relay did not start" >&2
  return 1
}

# The PostgreSQL and ODBC benchmarks with every link to the servers through
# relays holding each chunk $1 microseconds each way: the PostgreSQL
# server's, and the MariaDB server's and the PostgreSQL benchmark source's
# of ODBC, in DSNs of their own. Arguments after the first go to the
# program; without a --benchmark_filter of their own, the relays run the
# PostgreSQL and ODBC benchmarks only.
bench_through_relays() {
  local delay=$1 pg_port maria_port relay_port filter=(--benchmark_filter='^(Pg|Odbc)')
  shift
  for argument in "$@"; do
    if [[ $argument == --benchmark_filter=* ]]; then filter=(); fi
  done
  start_relay "${QZ_PG_HOST%:*}" "${QZ_PG_HOST##*:}" "$delay"
  pg_port=$relay_port
  start_relay 127.0.0.1 "$(awk -F= '/^\[/ { s = $0 } s == "[qz_mariadb]" && $1 == "Port" { print $2 }' "$ODBCINI")" "$delay"
  maria_port=$relay_port
  awk -v pg="$pg_port" -v maria="$maria_port" -v delay="$delay" '
    /^\[/ { s = $0 }
    s == "[qz_mariadb]" || s == "[qz_postgresql_bench]" { copy[s] = copy[s] $0 "\n" }
    END {
      for (name in copy) {
        text = copy[name]
        sub(/\]/, "_relay" delay "]", text)
        if (name == "[qz_mariadb]") sub(/\nPort=[0-9]+/, "\nPort=" maria, text)
        else sub(/\nPort=[0-9]+/, "\nPort=" pg, text)
        printf "\n%s", text
      }
    }' "$ODBCINI" >"$relay_dir/sources.ini"
  cat "$relay_dir/sources.ini" >>"$ODBCINI"
  echo
  echo "==== through the relays: $delay microseconds each way ===="
  QZ_PG_HOST=127.0.0.1:$pg_port QZ_ODBC_MARIADB_DSN=qz_mariadb_relay$delay \
    QZ_ODBC_PG_BENCH_DSN=qz_postgresql_bench_relay$delay ./build-bench/bench/qz_bench "${filter[@]}" "$@"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
if [ -n "$large" ]; then
  QZ_BENCH_LARGE=$large ./build-bench/bench/qz_bench --benchmark_filter='^Large' "$@"
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
  exit 0
fi
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
echo "==== on loopback ===="
./build-bench/bench/qz_bench "$@"
bench_through_relays 500 "$@"
bench_through_relays 1000 "$@"
./build-bench/bench/qz_writers_bench

# The failover benchmark, on a primary and synchronous standby of its own.
unset QZ_PG_CLUSTER_HOSTS
eval "$(scripts/postgres-failover-cluster.sh start)"
[ -n "${QZ_PG_CLUSTER_HOSTS:-}" ] || { echo "the PostgreSQL failover cluster did not start" >&2; exit 1; }
./build-bench/bench/qz_failover_bench
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
