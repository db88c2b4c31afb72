# shellcheck shell=bash
# Ports for the throwaway test servers; sourced by the scripts that start
# them (postgres-test-server.sh, postgres-failover-cluster.sh,
# odbc-test-sources.sh).
#
# A server must never listen on a port the kernel may hand to a client as
# its own end of a connection (the range in
# /proc/sys/net/ipv4/ip_local_port_range, 32768-60999 by default): a client
# can then find itself connected to itself on the server's port, and the
# server cannot bind that port until the client lets go of it. So a server
# port is chosen below that range (above it when the range starts too low
# to leave room), and a server that still finds its port taken at start
# (another program bound it between the probe and the start) is started
# again on another one.
#
#   pick_port [TAKEN...]   prints a port of that range that nobody on
#                          127.0.0.1 listens on and that is none of TAKEN;
#                          fails when none is found
#   port_was_taken LOG     whether a server's log says it could not bind

# The first and last port servers may use.
server_port_range() {
  local low=32768 high=60999
  if [ -r /proc/sys/net/ipv4/ip_local_port_range ]; then
    read -r low high </proc/sys/net/ipv4/ip_local_port_range || true
  fi
  if [ "$low" -gt 11024 ]; then
    echo "10000 $((low - 1))"
  elif [ "$high" -lt 64512 ]; then
    echo "$((high + 1)) 65535"
  else
    echo "1024 $((low - 1))"
  fi
}

pick_port() {
  local range first last port _
  range=$(server_port_range)
  first=${range% *}
  last=${range#* }
  [ "$last" -gt "$first" ] || return 1
  for _ in $(seq 1 200); do
    port=$((first + (RANDOM * 32768 + RANDOM) % (last - first + 1)))
    case " $* " in *" $port "*) continue ;; esac
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# PostgreSQL says "could not bind ... Address already in use" (then "could
# not create any TCP/IP sockets"); MariaDB "Can't start server: Bind on
# TCP/IP port".
port_was_taken() {
  grep -qiE 'could not bind|address already in use|could not create any TCP/IP sockets|Bind on TCP/IP port' \
    "$1" 2>/dev/null
}
