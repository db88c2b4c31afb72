#!/usr/bin/env bash
# The ODBC data sources the tests use, in a fresh temporary folder:
# - a throwaway MariaDB server (its own data folder, port on 127.0.0.1 and
#   socket), with databases qz_test (the library's tests) and qz_test_tool
#   (gezhuan's) and user qz_test, whose password holds ';', '{' and '}' so
#   that every connection tests the quoting;
# - a database qz_odbc on the PostgreSQL test server that
#   scripts/postgres-test-server.sh started (QZ_PG_HOST must be set), reached
#   through psqlODBC's Unicode driver;
# - an SQLite ODBC source; each test names its own file with DATABASE=.
# odbcinst.ini and odbc.ini are written into the folder; nothing system-wide
# is read or touched.
#
#   eval "$(scripts/odbc-test-sources.sh start)"   # starts, prints exports
#   scripts/odbc-test-sources.sh stop "$QZ_ODBC_DIR"
#
# start prints shell "export" lines on standard output (everything else goes
# to standard error): ODBCSYSINI and ODBCINI, QZ_ODBC_DIR (the folder), and
# per engine the DSN, user and password: QZ_ODBC_PG_*, QZ_ODBC_MARIADB_*,
# QZ_ODBC_SQLITE_DSN, and QZ_ODBC_PG_BENCH_* for the benchmarks' PostgreSQL
# source (1,000 rows per fetch where the tests' fetches one). The same lines are kept in $QZ_ODBC_DIR/env. If the
# MariaDB server cannot start, the script exits non-zero with its log.
#
# mariadbd refuses to run as root, so under root (CI) it runs as "mysql".
# Needs the Debian packages unixodbc, odbc-postgresql, odbc-mariadb,
# libsqliteodbc and mariadb-server.
set -euo pipefail

MARKER=.qz-odbc-test-sources
PG_BIN=${QZ_PG_BIN:-/usr/lib/postgresql/15/bin}
MARIADB_DATABASE=qz_test
MARIADB_USER=qz_test
MARIADB_PASSWORD='qz;pass}word{1'
PG_ODBC_DATABASE=qz_odbc

die() {
  echo "odbc-test-sources: $*" >&2
  exit 1
}

RUNUSER=$(PATH=$PATH:/usr/sbin:/sbin command -v runuser || true)
MARIADBD=$(PATH=$PATH:/usr/sbin:/sbin command -v mariadbd || true)

# Runs a command as the MariaDB server's owner: "mysql" under root.
as_owner() {
  if [ "$(id -u)" -ne 0 ]; then
    "$@" </dev/null
  elif [ -n "$RUNUSER" ]; then
    "$RUNUSER" -u mysql -- "$@" </dev/null
  else
    su -s /bin/sh mysql -c "$(printf '%q ' "$@")" </dev/null
  fi
}

# shellcheck source=scripts/test-ports.sh
. "$(dirname "$(readlink -f "$0")")/test-ports.sh"

# The shared object of an installed ODBC driver package, e.g. libmaodbc.so.
driver_file() {
  local package=$1 name=$2 file
  file=$(dpkg -L "$package" 2>/dev/null | grep "/$name\$" | head -n 1 || true)
  [ -n "$file" ] && [ -f "$file" ] || die "no $name in package $package (apt-get install $package)"
  echo "$file"
}

show_log() {
  echo "---- $1 ----" >&2
  cat "$1" >&2 2>/dev/null || true
  echo "---- end of $1 ----" >&2
}

check_folder() {
  local dir=${1:-}
  [ -n "$dir" ] || die "name the folder (QZ_ODBC_DIR)"
  [ -f "$dir/$MARKER" ] || die "$dir is not a folder made by this script"
}

# Starts MariaDB in $1 on a free port and prints the port. A port another
# program took between the probe and the start is given up for another one.
start_mariadb() {
  local dir=$1 port
  [ -n "$MARIADBD" ] || die "no mariadbd (apt-get install mariadb-server)"
  mkdir -p "$dir/mariadb"
  [ "$(id -u)" -eq 0 ] && chown mysql: "$dir/mariadb"
  if ! as_owner mariadb-install-db --no-defaults --datadir="$dir/mariadb/data" --auth-root-authentication-method=normal \
      --skip-test-db >"$dir/mariadb/install.log" 2>&1; then
    show_log "$dir/mariadb/install.log"
    die "mariadb-install-db failed in $dir"
  fi
  local attempt
  for attempt in 1 2 3 4 5; do
    port=$(pick_port) || die "no free port for MariaDB"
    launch_mariadb "$dir" "$port" && break
    if [ "$attempt" -lt 5 ] && port_was_taken "$dir/mariadb/server.log"; then
      echo "odbc-test-sources: port $port was taken, trying another" >&2
      mv "$dir/mariadb/server.log" "$dir/mariadb/server.log.$attempt"
      continue
    fi
    show_log "$dir/mariadb/server.log"
    die "the MariaDB server did not start (folder $dir)"
  done
  set_up_mariadb "$dir"
  echo "$port"
}

# Runs mariadbd on port $2 and waits until it answers there; fails when it
# stops or does not answer in time.
launch_mariadb() {
  local dir=$1 port=$2 server tries
  # Durability off: the server is thrown away, a test run need not wait
  # for disks. PIPES_AS_CONCAT: || joins texts, as on the other engines, so
  # the tests' own SQL runs unchanged.
  as_owner "$MARIADBD" --no-defaults --datadir="$dir/mariadb/data" --port="$port" --bind-address=127.0.0.1 \
    --socket="$dir/mariadb/mysqld.sock" --pid-file="$dir/mariadb/mysqld.pid" --log-error="$dir/mariadb/server.log" \
    --skip-name-resolve --skip-log-bin --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 \
    --innodb-buffer-pool-size=128M --character-set-server=utf8mb4 --collation-server=utf8mb4_bin \
    --max-connections=100 \
    --sql-mode=STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION,PIPES_AS_CONCAT \
    >/dev/null 2>&1 &
  server=$!
  for tries in $(seq 1 120); do
    # The server on the socket must be the one that listens on the port.
    if [ "$(mariadb --no-defaults -uroot --socket="$dir/mariadb/mysqld.sock" -N -B -e 'SELECT @@port' 2>/dev/null ||
      true)" = "$port" ] &&
      mariadb-admin --no-defaults --protocol=tcp -h 127.0.0.1 -P "$port" ping >/dev/null 2>&1; then
      return 0
    fi
    kill -0 "$server" 2>/dev/null || return 1
    sleep 0.5
  done
  return 1
}

# The test databases and user.
set_up_mariadb() {
  local dir=$1
  mariadb --no-defaults -uroot --socket="$dir/mariadb/mysqld.sock" <<SQL || die "could not set up the MariaDB database"
CREATE DATABASE $MARIADB_DATABASE CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;
CREATE DATABASE ${MARIADB_DATABASE}_tool CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;
CREATE USER '$MARIADB_USER'@'127.0.0.1' IDENTIFIED BY '$MARIADB_PASSWORD';
CREATE USER '$MARIADB_USER'@'localhost' IDENTIFIED BY '$MARIADB_PASSWORD';
GRANT ALL ON $MARIADB_DATABASE.* TO '$MARIADB_USER'@'127.0.0.1';
GRANT ALL ON $MARIADB_DATABASE.* TO '$MARIADB_USER'@'localhost';
GRANT ALL ON ${MARIADB_DATABASE}_tool.* TO '$MARIADB_USER'@'127.0.0.1';
GRANT ALL ON ${MARIADB_DATABASE}_tool.* TO '$MARIADB_USER'@'localhost';
-- Triggers and functions of the tests need no binary-log safety checks.
SET GLOBAL log_bin_trust_function_creators = 1;
SQL
}

start() {
  [ -n "${QZ_PG_HOST:-}" ] || die "QZ_PG_HOST is not set: start scripts/postgres-test-server.sh first"
  local dir base=${TMPDIR:-/tmp}
  if [ "$(id -u)" -eq 0 ]; then
    id mysql >/dev/null 2>&1 || die "running as root but there is no mysql user to own the server"
    base=/tmp
  fi
  dir=$(mktemp -d "$base/qz-odbc.XXXXXX")
  touch "$dir/$MARKER"
  chmod 755 "$dir"
  cd "$dir"

  local pg_driver mariadb_driver sqlite_driver
  pg_driver=$(driver_file odbc-postgresql psqlodbcw.so)
  mariadb_driver=$(driver_file odbc-mariadb libmaodbc.so)
  sqlite_driver=$(driver_file libsqliteodbc libsqlite3odbc.so)

  local mariadb_port
  mariadb_port=$(start_mariadb "$dir")

  local pg_host=${QZ_PG_HOST%:*} pg_port=${QZ_PG_HOST##*:}
  # A database an earlier run left on the same server goes first.
  "$PG_BIN/dropdb" --if-exists -h "$pg_host" -p "$pg_port" -U "${QZ_PG_USER:-postgres}" "$PG_ODBC_DATABASE" </dev/null >&2 || true
  if ! "$PG_BIN/createdb" -h "$pg_host" -p "$pg_port" -U "${QZ_PG_USER:-postgres}" "$PG_ODBC_DATABASE" </dev/null >&2; then
    stop_mariadb "$dir"
    die "could not create database $PG_ODBC_DATABASE on $QZ_PG_HOST"
  fi

  # DontDLClose: the drivers stay loaded, so that the sanitizer run can name
  # the driver that leaks (tests/odbc-drivers.supp lets the drivers' own
  # leaks pass).
  cat >"$dir/odbcinst.ini" <<INI
[QZ PostgreSQL Unicode]
Driver=$pg_driver
DontDLClose=1

[QZ MariaDB]
Driver=$mariadb_driver
DontDLClose=1

[QZ SQLite3]
Driver=$sqlite_driver
DontDLClose=1
INI
  cat >"$dir/odbc.ini" <<INI
[qz_postgresql]
Driver=QZ PostgreSQL Unicode
Servername=$pg_host
Port=$pg_port
Database=$PG_ODBC_DATABASE
# Rows stream through a server cursor, one at a time, instead of the whole
# result arriving at execution.
UseDeclareFetch=1
Fetch=1

# The same database for the benchmarks: the cursor fetches 1,000 rows per
# round trip, as an application tuned for throughput would set it.
[qz_postgresql_bench]
Driver=QZ PostgreSQL Unicode
Servername=$pg_host
Port=$pg_port
Database=$PG_ODBC_DATABASE
UseDeclareFetch=1
Fetch=1000

[qz_mariadb]
Driver=QZ MariaDB
Server=127.0.0.1
Port=$mariadb_port
Database=$MARIADB_DATABASE
# NO_CACHE (1048576): forward-only results stream instead of being read
# whole at execution. Neither FOUND_ROWS (2) nor MULTI_STATEMENTS: the
# library must get by without the one, and the tests turn on the other
# where they need it.
Option=1048576

[qz_sqlite]
Driver=QZ SQLite3
# Rows stream (sqlite3_step rather than a whole table at once); WAL, a busy
# timeout and foreign keys, as the native SQLite driver sets them.
StepAPI=1
JournalMode=WAL
Timeout=5000
FKSupport=1
Database=$dir/default.sqlite
INI

  cat >"$dir/env" <<ENV
export ODBCSYSINI=$dir
export ODBCINI=$dir/odbc.ini
export QZ_ODBC_DIR=$dir
export QZ_ODBC_PG_DSN=qz_postgresql
export QZ_ODBC_PG_USER=${QZ_PG_USER:-}
export QZ_ODBC_PG_PASSWORD=
export QZ_ODBC_PG_BENCH_DSN=qz_postgresql_bench
export QZ_ODBC_PG_BENCH_USER=${QZ_PG_USER:-}
export QZ_ODBC_PG_BENCH_PASSWORD=
export QZ_ODBC_MARIADB_DSN=qz_mariadb
export QZ_ODBC_MARIADB_USER=$MARIADB_USER
export QZ_ODBC_MARIADB_PASSWORD='$MARIADB_PASSWORD'
export QZ_ODBC_SQLITE_DSN=qz_sqlite
ENV
  echo "odbc-test-sources: MariaDB on 127.0.0.1:$mariadb_port, sources in $dir" >&2
  cat "$dir/env"
}

stop_mariadb() {
  local dir=$1 pid
  [ -f "$dir/mariadb/mysqld.pid" ] || return 0
  pid=$(cat "$dir/mariadb/mysqld.pid")
  kill "$pid" 2>/dev/null || return 0
  local tries
  for tries in $(seq 1 60); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.5
  done
  kill -9 "$pid" 2>/dev/null || true
}

stop() {
  check_folder "${1:-}"
  local dir=$1
  cd /
  stop_mariadb "$dir"
  rm -rf -- "$dir"
}

case "${1:-}" in
  start) start ;;
  stop) stop "${2:-${QZ_ODBC_DIR:-}}" ;;
  *)
    echo "usage: $0 start | stop DIR   (DIR defaults to \$QZ_ODBC_DIR)" >&2
    exit 2
    ;;
esac
