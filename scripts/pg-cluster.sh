#!/usr/bin/env bash
# A private PostgreSQL cluster for the tests and benchmarks: initdb in a
# temporary directory as an unprivileged user, the server listening on a Unix
# socket in that directory only (no TCP port).
#
#   bash scripts/pg-cluster.sh start DIR   prints the connection URI on stdout
#   bash scripts/pg-cluster.sh stop DIR    stops the server and removes DIR
#   bash scripts/pg-cluster.sh restart DIR a fresh cluster in place of any old one
#
# Exits 3 with one line on stderr when PostgreSQL 15 is not installed.
set -euo pipefail
action=${1:?usage: pg-cluster.sh start|stop DIR}
dir=${2:?usage: pg-cluster.sh start|stop DIR}
bin=/usr/lib/postgresql/15/bin
if [ ! -x "$bin/initdb" ]; then
  echo "PostgreSQL 15 is not installed: the PostgreSQL backend is not tested" >&2
  exit 3
fi

# The server refuses to run as root: root runs it as the system user postgres.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

stop() {
  if [ -d "$dir/data" ]; then
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w -s stop || true
  fi
  rm -rf "$dir"
}

case "$action" in
  restart)
    stop
    exec bash "$0" start "$dir"
    ;;
  start)
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -U brivos --auth=trust -E UTF8 --no-sync >/dev/null
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=off \
          -c max_connections=300 -c shared_buffers=64MB" start
    as_owner "$bin/createdb" -h "$dir" -U brivos brivos
    echo "postgresql:///brivos?host=$dir&user=brivos"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: pg-cluster.sh start|stop DIR" >&2
    exit 2
    ;;
esac
