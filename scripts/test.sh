#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds, and runs every
# test: the normal build, then the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer, then each fuzz target for a bounded time,
# then the installed tool and a caller's project against the installed
# library, then the Windows build and its tests under Wine. A PostgreSQL
# server and the ODBC sources (with a MariaDB server) are started on
# loopback for the suites that need them and stopped at the end; the
# failover tests get a primary and a synchronous standby of their own,
# likewise.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${QZ_JOBS:-2}

bash scripts/deps.sh

echo "== format"
bash scripts/check-format.sh

# The PostgreSQL suites are never skipped here: no server, no green run.
eval "$(scripts/postgres-test-server.sh start)"
trap 'scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true' EXIT
[ -n "${QZ_PG_HOST:-}" ] || { echo "the PostgreSQL test server did not start" >&2; exit 1; }

# The ODBC sources (a throwaway MariaDB, psqlODBC to the server above, an
# SQLite file), in ini files of their own: never skipped here either.
eval "$(scripts/odbc-test-sources.sh start)"
trap '[ -z "${QZ_ODBC_DIR:-}" ] || scripts/odbc-test-sources.sh stop "$QZ_ODBC_DIR" || true
  scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true' EXIT
[ -n "${QZ_ODBC_DIR:-}" ] || { echo "the ODBC test sources did not start" >&2; exit 1; }

echo "== build"
cmake -S . -B build -DQZ_BUILD_TESTS=ON -DQZ_BUILD_BENCH=ON -DQZ_SANITIZE=OFF >/dev/null
cmake --build build -j "$jobs"

echo "== tests"
(cd build && ctest --output-on-failure -j "$jobs")

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -DQZ_BUILD_TESTS=ON -DQZ_SANITIZE=ON -DQZ_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j "$jobs"
# The ODBC drivers leak a little of their own (psqlODBC on statement errors,
# the SQLite driver at connect); tests/odbc-drivers.supp names them. The
# SQLite ODBC driver's leak is reported from frames no suppression can name,
# so its tests run with leak detection off (ASan and UBSan still on).
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$root/tests/odbc-drivers.supp" ctest --output-on-failure -j "$jobs" -E '/OdbcSQLite')
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -R '/OdbcSQLite')

echo "== failover: a primary and a synchronous standby switched over under load, in both builds"
unset QZ_PG_CLUSTER_HOSTS
eval "$(scripts/postgres-failover-cluster.sh start)"
trap 'scripts/postgres-failover-cluster.sh stop "${QZ_PG_CLUSTER_DIR:-}" || true
  scripts/odbc-test-sources.sh stop "$QZ_ODBC_DIR" || true
  scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true' EXIT
[ -n "${QZ_PG_CLUSTER_HOSTS:-}" ] || { echo "the PostgreSQL failover cluster did not start" >&2; exit 1; }
(cd build && ctest --output-on-failure -R 'FailoverTest|LostCommitTest')
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -R 'FailoverTest|LostCommitTest')
scripts/postgres-failover-cluster.sh stop "$QZ_PG_CLUSTER_DIR"
trap 'scripts/odbc-test-sources.sh stop "$QZ_ODBC_DIR" || true
  scripts/postgres-test-server.sh stop "$QZ_PG_DIR" || true' EXIT

echo "== fuzz targets, a bounded run each"
bash scripts/fuzz.sh 20

echo "== install, and use from a separate project, with no LD_LIBRARY_PATH"
bash scripts/install-check.sh build

echo "== Windows: the mingw-w64 build, its tests under Wine (ODBC through the sources above), the installed prefix"
bash scripts/windows-test.sh build-windows

echo "all tests passed"
