#!/usr/bin/env bash
# Stops the server that pg_start.sh started and removes its files.
#   pg_stop.sh STATE_DIR
set -uo pipefail

state=${1:?usage: pg_stop.sh STATE_DIR}
pgbin=${NORVANE_PGBIN:-/usr/lib/postgresql/15/bin}
[ -d "$state" ] || exit 0
home=$(cat "$state/server-home" 2>/dev/null || true)
data=${home:+$home/data}

if [ -n "$data" ] && [ -f "$data/postmaster.pid" ]; then
  run=()
  [ "$(id -u)" -eq 0 ] && id norvane-pg >/dev/null 2>&1 && run=(runuser -u norvane-pg --)
  "${run[@]}" "$pgbin/pg_ctl" -D "$data" -m immediate -w -t 60 stop >/dev/null 2>&1 || {
    echo "pg_stop: the server in $data did not stop" >&2
    exit 1
  }
fi
[ -n "$home" ] && rm -rf "$home"
rm -rf "$state"
