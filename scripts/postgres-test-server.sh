#!/usr/bin/env bash
# A throwaway PostgreSQL 15 server for the tests: its own cluster in a fresh
# temporary folder, listening on 127.0.0.1 on a free port outside the range
# the kernel hands to clients (test-ports.sh), trust auth on loopback only,
# with one empty test database.
#
#   eval "$(scripts/postgres-test-server.sh start)"   # starts, prints exports
#   scripts/postgres-test-server.sh restart "$QZ_PG_DIR"
#   scripts/postgres-test-server.sh stop "$QZ_PG_DIR"
#
# start prints shell "export" lines on standard output (everything else goes
# to standard error): QZ_PG_HOST (127.0.0.1:PORT), QZ_PG_DATABASE, QZ_PG_USER,
# QZ_PG_PASSWORD (empty), QZ_PG_DIR (the folder) and QZ_PG_RESTART (a command
# the tests run to restart the server). The same lines are kept in
# $QZ_PG_DIR/env. A server that cannot start makes the script exit non-zero
# with the server's log on standard error.
#
# The server refuses to run as root, so under root (CI) the cluster belongs
# to the "postgres" user and every server command runs as that user. Needs
# the Debian package postgresql (binaries in /usr/lib/postgresql/15/bin, or
# $QZ_PG_BIN). Reads nothing from standard input.
set -euo pipefail

PG_BIN=${QZ_PG_BIN:-/usr/lib/postgresql/15/bin}
DATABASE=qz_test
SUPERUSER=qz_test
MARKER=.qz-postgres-test-server
SCRIPT=$(readlink -f "$0")

die() {
  echo "postgres-test-server: $*" >&2
  exit 1
}

# runuser lives in sbin, which a minimal PATH may lack; su is the fallback.
RUNUSER=$(PATH=$PATH:/usr/sbin:/sbin command -v runuser || true)

# Runs a command as the cluster's owner: "postgres" under root, else ourselves.
as_owner() {
  if [ "$(id -u)" -ne 0 ]; then
    "$@" </dev/null
  elif [ -n "$RUNUSER" ]; then
    "$RUNUSER" -u postgres -- "$@" </dev/null
  else
    su -s /bin/sh postgres -c "$(printf '%q ' "$@")" </dev/null
  fi
}

# shellcheck source=scripts/test-ports.sh
. "$(dirname "$SCRIPT")/test-ports.sh"

check_folder() {
  local dir=${1:-}
  [ -n "$dir" ] || die "name the server's folder (QZ_PG_DIR)"
  [ -f "$dir/$MARKER" ] || die "$dir is not a folder made by this script"
}

show_log() {
  echo "---- server log ($1) ----" >&2
  cat "$1" >&2 2>/dev/null || true
  echo "---- end of server log ----" >&2
}

start() {
  [ -x "$PG_BIN/pg_ctl" ] || die "no PostgreSQL server binaries in $PG_BIN (apt-get install postgresql)"
  if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 || die "running as root but there is no postgres user to own the cluster"
  fi

  local dir port base=${TMPDIR:-/tmp}
  # Under root the folder must be reachable by the postgres user.
  if [ "$(id -u)" -eq 0 ] && ! as_owner test -x "$base"; then
    base=/tmp
  fi
  dir=$(mktemp -d "$base/qz-postgres.XXXXXX")
  touch "$dir/$MARKER"
  chmod 755 "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
  cd "$dir"  # the owner must be able to stand in the working folder

  if ! as_owner "$PG_BIN/initdb" -D "$dir/data" -U "$SUPERUSER" -A trust -E UTF8 --locale=C.UTF-8 \
      >"$dir/initdb.log" 2>&1; then
    show_log "$dir/initdb.log"
    die "initdb failed in $dir"
  fi
  # Loopback only, trust: nothing else may connect.
  printf '%s\n' 'local all all trust' 'host all all 127.0.0.1/32 trust' 'host all all ::1/128 trust' \
    >"$dir/data/pg_hba.conf"

  # fsync off: the cluster is thrown away, a test run need not wait for disks.
  # A port another program took between the probe and the start is given
  # up for another one.
  local attempt
  for attempt in 1 2 3 4 5; do
    port=$(pick_port) || die "no free port for the server"
    if as_owner "$PG_BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=50" \
        start >"$dir/pg_ctl.log" 2>&1; then
      break
    fi
    if [ "$attempt" -lt 5 ] && port_was_taken "$dir/server.log"; then
      echo "postgres-test-server: port $port was taken, trying another" >&2
      as_owner mv "$dir/server.log" "$dir/server.log.$attempt"
      continue
    fi
    cat "$dir/pg_ctl.log" >&2
    show_log "$dir/server.log"
    die "the server did not start (folder $dir)"
  done
  # The server that answers on the port must be this one.
  if [ "$(as_owner "$PG_BIN/psql" -X -A -t -h 127.0.0.1 -p "$port" -U "$SUPERUSER" -d postgres \
      -c 'SHOW data_directory' 2>/dev/null || true)" != "$dir/data" ]; then
    show_log "$dir/server.log"
    as_owner "$PG_BIN/pg_ctl" -D "$dir/data" -m immediate stop >&2 || true
    die "the server does not answer on 127.0.0.1:$port (folder $dir)"
  fi
  if ! as_owner "$PG_BIN/createdb" -h 127.0.0.1 -p "$port" -U "$SUPERUSER" "$DATABASE" >&2; then
    show_log "$dir/server.log"
    as_owner "$PG_BIN/pg_ctl" -D "$dir/data" -m immediate stop >&2 || true
    die "could not create database $DATABASE (folder $dir)"
  fi

  local owner_user
  owner_user=$(id -un)
  cat >"$dir/env" <<ENV
export QZ_PG_HOST=127.0.0.1:$port
export QZ_PG_DATABASE=$DATABASE
export QZ_PG_USER=$SUPERUSER
export QZ_PG_PASSWORD=
export QZ_PG_DIR=$dir
export QZ_PG_RESTART='$SCRIPT restart $dir'
ENV
  echo "postgres-test-server: started on 127.0.0.1:$port in $dir (by $owner_user)" >&2
  cat "$dir/env"
}

restart() {
  check_folder "${1:-}"
  local dir=$1
  cd "$dir"
  if ! as_owner "$PG_BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -m fast restart \
      >"$dir/pg_ctl.log" 2>&1; then
    cat "$dir/pg_ctl.log" >&2
    show_log "$dir/server.log"
    die "the server did not restart"
  fi
}

stop() {
  check_folder "${1:-}"
  local dir=$1
  cd /
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_owner "$PG_BIN/pg_ctl" -D "$dir/data" -w -t 60 -m fast stop >&2 ||
      as_owner "$PG_BIN/pg_ctl" -D "$dir/data" -w -m immediate stop >&2 || true
  fi
  rm -rf -- "$dir"
}

case "${1:-}" in
  start) start ;;
  restart) restart "${2:-${QZ_PG_DIR:-}}" ;;
  stop) stop "${2:-${QZ_PG_DIR:-}}" ;;
  *)
    echo "usage: $0 start | restart DIR | stop DIR   (DIR defaults to \$QZ_PG_DIR)" >&2
    exit 2
    ;;
esac
