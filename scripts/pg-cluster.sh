#!/usr/bin/env bash
# A private PostgreSQL cluster for the tests and benchmarks: initdb in DIR as
# an unprivileged user, the server listening on a Unix socket in DIR only (no
# TCP port).
#
#   bash scripts/pg-cluster.sh start DIR   prints the connection URI on stdout
#   bash scripts/pg-cluster.sh stop DIR    stops the server and removes DIR
#   bash scripts/pg-cluster.sh restart DIR a fresh cluster in place of any old one
#   bash scripts/pg-cluster.sh bounce DIR  the running server stopped (its
#                                          connections closed) and started again
#
# DIR is created by start (mode 700) unless it is an empty directory of the
# caller's, as mktemp -d leaves it. As root the server runs as the system user
# postgres, who then owns DIR: every folder above DIR must let postgres pass
# (/tmp does; a checkout under /root or in a private mktemp -d folder does
# not). The socket's path, DIR/.s.PGSQL.5432, must fit in 107 bytes.
#
# Exits 3 with one line on stderr when PostgreSQL 15 is not installed.
set -euo pipefail
action=${1:?usage: pg-cluster.sh start|stop|restart|bounce DIR}
dir=${2:?usage: pg-cluster.sh start|stop|restart|bounce DIR}
bin=/usr/lib/postgresql/15/bin
if [ ! -x "$bin/initdb" ]; then
  echo "PostgreSQL 15 is not installed: the PostgreSQL backend is not tested" >&2
  exit 3
fi
case "$dir" in
  /*) ;;
  *) dir="$PWD/$dir" ;;
esac

# The server refuses to run as root: root runs it as the system user postgres.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

fail() {
  echo "pg-cluster.sh: $*" >&2
  exit 1
}

stop() {
  if [ -d "$dir/data" ]; then
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w -s stop || true
  fi
  rm -rf "$dir"
}

start() {
  local socket="$dir/.s.PGSQL.5432"
  [ "${#socket}" -le 107 ] ||
    fail "the socket path $socket is longer than 107 bytes: choose a shorter DIR"
  if [ -e "$dir" ] || [ -L "$dir" ]; then
    # Someone else's directory at a name known in advance is not used.
    [ -d "$dir" ] && [ ! -L "$dir" ] && [ -O "$dir" ] && [ -z "$(ls -A "$dir")" ] ||
      fail "$dir exists and is not an empty directory of $(id -un)'s"
    chmod 700 "$dir"
  else
    mkdir -m 700 "$dir"
  fi
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$dir"
    runuser -u postgres -- test -w "$dir" ||
      fail "the user postgres cannot reach $dir: a folder above it is closed to others"
  fi
  as_owner "$bin/initdb" -D "$dir/data" -U brivos --auth=trust -E UTF8 --no-sync >/dev/null
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s \
    -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=off \
        -c max_connections=300 -c shared_buffers=64MB" start
  as_owner "$bin/createdb" -h "$dir" -U brivos brivos
  echo "postgresql:///brivos?host=$dir&user=brivos"
}

case "$action" in
  restart)
    stop
    start
    ;;
  start)
    start
    ;;
  stop)
    stop
    ;;
  bounce)
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -m fast -w -s restart
    ;;
  *)
    echo "usage: pg-cluster.sh start|stop|restart|bounce DIR" >&2
    exit 2
    ;;
esac
