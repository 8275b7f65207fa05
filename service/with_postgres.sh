#!/usr/bin/env bash
# Runs a command against a throw-away PostgreSQL server, named to it by TALLYHIVE_PG_URL, and removes
# the server afterwards. Exits with 77 (skipped) when PostgreSQL is not installed. The server refuses
# to run as root, so under root it runs as the unprivileged user "nobody".
set -euo pipefail
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
  echo "with_postgres: PostgreSQL is not installed" >&2
  exit 77
fi

dir=$(mktemp -d /tmp/tallyhive-pg-XXXXXX)
as_owner() { "$@"; }
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$dir"
  as_owner() { runuser -u nobody -- "$@"; }
fi
stop() {
  as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap stop EXIT

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
as_owner "$bin/initdb" -D "$dir/data" -A trust -U tallyhive -E UTF8 --no-sync >"$dir/initdb.log" 2>&1 ||
  { cat "$dir/initdb.log" >&2; exit 1; }
# Only a socket in the private folder: nothing listens on the network.
as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
  -o "-p $port -k $dir -c listen_addresses='' -c fsync=off -c synchronous_commit=off" start >/dev/null ||
  { cat "$dir/server.log" >&2; exit 1; }

export TALLYHIVE_PG_URL="postgresql://tallyhive@/postgres?host=$dir&port=$port"
"$@"
