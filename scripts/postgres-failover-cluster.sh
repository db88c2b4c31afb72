#!/usr/bin/env bash
# A throwaway PostgreSQL 15 primary with a synchronous streaming standby, for
# the failover tests: two clusters ("a" and "b") in one fresh temporary
# folder, each on its own free port of 127.0.0.1 outside the range the kernel
# hands to clients (test-ports.sh), trust auth on loopback only, one test
# database.
#
#   eval "$(scripts/postgres-failover-cluster.sh start)"   # starts, prints exports
#   scripts/postgres-failover-cluster.sh stop-primary DIR  # pg_ctl stop -m immediate
#   scripts/postgres-failover-cluster.sh promote DIR       # the standby takes over
#   scripts/postgres-failover-cluster.sh failover DIR      # both of the above
#   scripts/postgres-failover-cluster.sh fence DIR         # the primary turns read-only
#   scripts/postgres-failover-cluster.sh rejoin DIR        # the old primary follows the new one
#   scripts/postgres-failover-cluster.sh ready DIR         # rejoin unless a synchronous standby streams
#   scripts/postgres-failover-cluster.sh asynchronous DIR  # commits stop waiting for the standby
#   scripts/postgres-failover-cluster.sh synchronous DIR   # and wait for it again
#   scripts/postgres-failover-cluster.sh hold-replication DIR     # nothing reaches the standby: commits wait
#   scripts/postgres-failover-cluster.sh release-replication DIR
#   scripts/postgres-failover-cluster.sh status DIR
#   scripts/postgres-failover-cluster.sh stop DIR          # stops both, removes DIR
#
# start prints shell "export" lines on standard output (everything else goes
# to standard error): QZ_PG_CLUSTER_HOSTS (the two servers as
# "127.0.0.1:PORT,127.0.0.1:PORT", the primary first), QZ_PG_CLUSTER_DATABASE,
# QZ_PG_CLUSTER_USER, QZ_PG_CLUSTER_DIR and QZ_PG_CLUSTER_SCRIPT (this
# script, for the tests to run the commands above). The same lines are kept
# in $QZ_PG_CLUSTER_DIR/env. A cluster that cannot start makes the script exit
# non-zero with the servers' logs on standard error.
#
# Every commit on the primary waits for the standby to have flushed it
# (synchronous_standby_names = '*', synchronous_commit = on): what a client
# was told is committed survives the primary's loss. A promoted standby runs
# alone, without synchronous replication, until rejoin gives it a standby
# again; only then can it be failed over in turn.
#
# The servers refuse to run as root, so under root (CI) the clusters belong to
# the "postgres" user and every server command runs as that user. Needs the
# Debian package postgresql (binaries in /usr/lib/postgresql/15/bin, or
# $QZ_PG_BIN). Reads nothing from standard input.
set -euo pipefail

PG_BIN=${QZ_PG_BIN:-/usr/lib/postgresql/15/bin}
DATABASE=qz_test
SUPERUSER=qz_test
MARKER=.qz-postgres-failover-cluster
SCRIPT=$(readlink -f "$0")

die() {
  echo "postgres-failover-cluster: $*" >&2
  exit 1
}

say() { echo "postgres-failover-cluster: $*" >&2; }

# runuser lives in sbin, which a minimal PATH may lack; su is the fallback.
RUNUSER=$(PATH=$PATH:/usr/sbin:/sbin command -v runuser || true)

# Runs a command as the clusters' owner: "postgres" under root, else ourselves.
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
  [ -n "$DIR" ] || die "name the cluster's folder (QZ_PG_CLUSTER_DIR)"
  [ -f "$DIR/$MARKER" ] || die "$DIR is not a folder made by this script"
  cd "$DIR"  # the owner must be able to stand in the working folder
}

show_log() {
  echo "---- $1 ----" >&2
  tail -n 60 "$1" >&2 2>/dev/null || true
  echo "---- end of $1 ----" >&2
}

# The state of the pair: which node is the primary, and the other's port.
primary() { cat "$DIR/primary"; }
other() { [ "$1" = a ] && echo b || echo a; }
port_of() { cat "$DIR/$1.port"; }
running() { as_owner "$PG_BIN/pg_ctl" -D "$DIR/$1" status >/dev/null 2>&1; }

# Runs one SQL text on node $1 and prints the first value.
sql_on() {
  as_owner "$PG_BIN/psql" -X -q -A -t -h 127.0.0.1 -p "$(port_of "$1")" -U "$SUPERUSER" -d postgres -c "$2"
}

# Starts node $1 on its port. With $2 = new (the cluster's first start), a
# port another program took meanwhile is given up for another one.
start_node() {
  local node=$1 attempt
  for attempt in 1 2 3 4 5; do
    if as_owner "$PG_BIN/pg_ctl" -D "$DIR/$node" -l "$DIR/$node.log" -w -t 60 \
        -o "-p $(port_of "$node") -k $DIR" start >"$DIR/pg_ctl.log" 2>&1; then
      # The server that answers on the port must be this one.
      [ "$(sql_on "$node" 'SHOW data_directory' 2>/dev/null || true)" = "$DIR/$node" ] && return 0
      show_log "$DIR/$node.log"
      die "server $node does not answer on 127.0.0.1:$(port_of "$node") (folder $DIR)"
    fi
    if [ "${2:-}" = new ] && [ "$attempt" -lt 5 ] && port_was_taken "$DIR/$node.log"; then
      say "port $(port_of "$node") of server $node was taken, trying another"
      as_owner mv "$DIR/$node.log" "$DIR/$node.log.$attempt"
      pick_port "$(port_of "$(other "$node")" 2>/dev/null || true)" >"$DIR/$node.port" || die "no free port"
      continue
    fi
    cat "$DIR/pg_ctl.log" >&2
    show_log "$DIR/$node.log"
    die "server $node did not start (folder $DIR)"
  done
}

# Waits until node $1 accepts writes.
wait_writable() {
  local tries
  for tries in $(seq 1 300); do
    [ "$(sql_on "$1" 'SELECT pg_is_in_recovery()' 2>/dev/null || true)" = f ] && return 0
    sleep 0.1
  done
  show_log "$DIR/$1.log"
  die "server $1 did not become writable"
}

# Turns on synchronous replication on the primary and waits until its
# standby is streaming synchronously, so that from now on every commit
# waits for it.
wait_synchronous() {
  local node tries
  node=$(primary)
  sql_on "$node" "ALTER SYSTEM SET synchronous_standby_names = '*'" >/dev/null
  sql_on "$node" 'SELECT pg_reload_conf()' >/dev/null
  for tries in $(seq 1 600); do
    [ "$(sql_on "$node" "SELECT count(*) FROM pg_stat_replication WHERE sync_state = 'sync'" 2>/dev/null ||
      true)" = 1 ] && return 0
    sleep 0.1
  done
  show_log "$DIR/$(other "$node").log"
  die "the standby of $node did not become synchronous"
}

# A fresh standby of the primary in folder $1, started ($2 as start_node's).
clone_standby() {
  local node=$1
  as_owner rm -rf "$DIR/$node"
  if ! as_owner "$PG_BIN/pg_basebackup" -h 127.0.0.1 -p "$(port_of "$(primary)")" -U "$SUPERUSER" \
      -D "$DIR/$node" -R -X stream -c fast >"$DIR/basebackup.log" 2>&1; then
    show_log "$DIR/basebackup.log"
    die "pg_basebackup of $node failed"
  fi
  start_node "$node" "${2:-}"
}

start() {
  [ -x "$PG_BIN/pg_ctl" ] || die "no PostgreSQL server binaries in $PG_BIN (apt-get install postgresql)"
  if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 || die "running as root but there is no postgres user to own the clusters"
  fi
  local base=${TMPDIR:-/tmp}
  if [ "$(id -u)" -eq 0 ] && ! as_owner test -x "$base"; then
    base=/tmp
  fi
  DIR=$(mktemp -d "$base/qz-postgres-cluster.XXXXXX")
  touch "$DIR/$MARKER"
  chmod 755 "$DIR"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$DIR"
  cd "$DIR"
  # Whatever fails from here leaves no server behind.
  trap 'teardown' EXIT

  if ! as_owner "$PG_BIN/initdb" -D "$DIR/a" -U "$SUPERUSER" -A trust -E UTF8 --locale=C.UTF-8 \
      >"$DIR/initdb.log" 2>&1; then
    show_log "$DIR/initdb.log"
    die "initdb failed in $DIR"
  fi
  # Written by us into the owner's files, which keep their owner.
  printf '%s\n' 'local all all trust' 'host all all 127.0.0.1/32 trust' \
    'local replication all trust' 'host replication all 127.0.0.1/32 trust' >"$DIR/a/pg_hba.conf"
  # fsync off: the clusters are thrown away and a stop -m immediate is no
  # power loss; what was written stays in the page cache. full_page_writes
  # and wal_log_hints stay on for pg_rewind. The WAL kept lets an old
  # primary catch up after it is rewound.
  cat >>"$DIR/a/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
fsync = off
synchronous_commit = on
wal_level = replica
max_wal_senders = 8
wal_keep_size = '256MB'
wal_log_hints = on
hot_standby = on
max_connections = 60
wal_receiver_status_interval = 1s
CONF
  echo a >"$DIR/primary"
  pick_port >"$DIR/a.port" || die "no free port"
  pick_port "$(port_of a)" >"$DIR/b.port" || die "no free port"
  start_node a new
  if ! as_owner "$PG_BIN/createdb" -h 127.0.0.1 -p "$(port_of a)" -U "$SUPERUSER" "$DATABASE" >&2; then
    show_log "$DIR/a.log"
    die "could not create database $DATABASE"
  fi
  clone_standby b new
  wait_synchronous
  trap - EXIT

  cat >"$DIR/env" <<ENV
export QZ_PG_CLUSTER_HOSTS=127.0.0.1:$(port_of a),127.0.0.1:$(port_of b)
export QZ_PG_CLUSTER_DATABASE=$DATABASE
export QZ_PG_CLUSTER_USER=$SUPERUSER
export QZ_PG_CLUSTER_DIR=$DIR
export QZ_PG_CLUSTER_SCRIPT=$SCRIPT
ENV
  say "primary 127.0.0.1:$(port_of a), synchronous standby 127.0.0.1:$(port_of b), in $DIR"
  cat "$DIR/env"
}

# The primary goes away at once, as in a crash: its sessions are cut and it
# writes no shutdown checkpoint.
stop_primary() {
  local node
  node=$(primary)
  as_owner "$PG_BIN/pg_ctl" -D "$DIR/$node" -m immediate -w stop >/dev/null
}

# The standby becomes the primary. It has no standby of its own yet, so it
# must not wait for one on commit: that is settled before it takes writes.
promote() {
  local node old
  old=$(primary)
  node=$(other "$old")
  sql_on "$node" "ALTER SYSTEM SET synchronous_standby_names = ''" >/dev/null
  sql_on "$node" 'SELECT pg_reload_conf()' >/dev/null
  as_owner "$PG_BIN/pg_ctl" -D "$DIR/$node" -w -t 60 promote >/dev/null
  echo "$node" >"$DIR/primary"
  wait_writable "$node"
}

# The site's fence of a primary that is still running: from now on it takes
# no writes, in open sessions too.
fence() {
  local node
  node=$(primary)
  sql_on "$node" 'ALTER SYSTEM SET default_transaction_read_only = on' >/dev/null
  sql_on "$node" 'SELECT pg_reload_conf()' >/dev/null
}

# The old primary follows the new one as its synchronous standby: rewound to
# where their histories parted (or copied afresh when that cannot be done).
rejoin() {
  local node new
  new=$(primary)
  node=$(other "$new")
  if running "$node"; then
    as_owner "$PG_BIN/pg_ctl" -D "$DIR/$node" -m fast -w stop >/dev/null
  fi
  # pg_rewind learns the new timeline from the control file, which a
  # promotion updates only at its next checkpoint.
  sql_on "$new" 'CHECKPOINT' >/dev/null
  if as_owner "$PG_BIN/pg_rewind" -D "$DIR/$node" -R \
      --source-server="host=127.0.0.1 port=$(port_of "$new") user=$SUPERUSER dbname=postgres" \
      >"$DIR/rewind.log" 2>&1; then
    # The fence and the synchronous setting came with the rewind; a standby
    # needs neither.
    as_owner sed -i -e '/default_transaction_read_only/d' -e '/synchronous_standby_names/d' \
      "$DIR/$node/postgresql.auto.conf"
    as_owner touch "$DIR/$node/standby.signal"
    start_node "$node"
  else
    say "pg_rewind failed, copying $node afresh"
    cat "$DIR/rewind.log" >&2
    clone_standby "$node"
  fi
  wait_synchronous
}

# A test starts from a primary with a synchronous standby, whatever the test
# before it left.
ready() {
  [ "$(sql_on "$(primary)" "SELECT count(*) FROM pg_stat_replication WHERE sync_state = 'sync'" 2>/dev/null ||
    true)" = 1 ] || rejoin
}

# Commits no longer wait for the standby, which still streams: to weigh
# what waiting costs.
asynchronous() {
  sql_on "$(primary)" "ALTER SYSTEM SET synchronous_standby_names = ''" >/dev/null
  sql_on "$(primary)" 'SELECT pg_reload_conf()' >/dev/null
}

# Halts (STOP) or resumes (CONT) the primary's WAL sender: while it is
# halted the standby gets nothing more, and every commit waits for it.
signal_sender() {
  local pid
  pid=$(sql_on "$(primary)" 'SELECT pid FROM pg_stat_replication')
  [ -n "$pid" ] || die "the primary $(primary) has no WAL sender"
  if [ "$(id -u)" -eq 0 ]; then kill "-$1" "$pid"; else as_owner kill "-$1" "$pid"; fi
}

status() {
  local node role
  for node in a b; do
    if ! running "$node"; then
      role=stopped
    elif [ "$(sql_on "$node" 'SELECT pg_is_in_recovery()' 2>/dev/null || true)" = t ]; then
      role=standby
    elif [ "$(sql_on "$node" 'SHOW default_transaction_read_only' 2>/dev/null || true)" = on ]; then
      role=fenced
    else
      role=primary
    fi
    echo "$node 127.0.0.1:$(port_of "$node") $role"
  done
}

teardown() {
  cd /
  local node
  for node in a b; do
    if [ -f "$DIR/$node/postmaster.pid" ]; then
      as_owner "$PG_BIN/pg_ctl" -D "$DIR/$node" -m immediate -w stop >/dev/null 2>&1 || true
    fi
  done
  rm -rf -- "$DIR"
}

DIR=${2:-${QZ_PG_CLUSTER_DIR:-}}
case "${1:-}" in
  start) start ;;
  stop-primary) check_folder && stop_primary ;;
  promote) check_folder && promote ;;
  failover) check_folder && stop_primary && promote ;;
  fence) check_folder && fence ;;
  rejoin) check_folder && rejoin ;;
  ready) check_folder && ready ;;
  asynchronous) check_folder && asynchronous ;;
  synchronous) check_folder && wait_synchronous ;;
  hold-replication) check_folder && signal_sender STOP ;;
  release-replication) check_folder && signal_sender CONT ;;
  status) check_folder && status ;;
  stop) check_folder && teardown ;;
  *)
    echo "usage: $0 start | stop-primary | promote | failover | fence | rejoin | ready | asynchronous | synchronous |" >&2
    echo "          hold-replication | release-replication | status | stop  [DIR]" >&2
    echo "       (DIR defaults to \$QZ_PG_CLUSTER_DIR)" >&2
    exit 2
    ;;
esac
