#!/usr/bin/env bash
# Starts a throw-away PostgreSQL 15 server for the connection-check tests.
#   pg_start.sh STATE_DIR
# The server listens on 127.0.0.1 only, on a free port written to STATE_DIR/port, and
# asks for passwords (scram-sha-256). It holds:
#   role norvane / "norvane-pw":  database norvane, 3 master accounts and 5 sub-accounts
#   role norvane_semi / "a;b}c {d": may log in to norvane (a password the connection
#                                   string must carry whole)
#   databases norvane_max and norvane_over, where Count(*) is the server's real count
#   plus 2147483646, so one row counts 2147483647 and two rows 2147483648.
set -euo pipefail

state=${1:?usage: pg_start.sh STATE_DIR}
pgbin=${NORVANE_PGBIN:-/usr/lib/postgresql/15/bin}
for tool in initdb pg_ctl postgres psql; do
  if [ ! -x "$pgbin/$tool" ] && [ "$tool" != psql ]; then
    echo "pg_start: $pgbin/$tool is missing: install the postgresql-15 package (scripts/deps)" >&2
    exit 1
  fi
done
psql=$pgbin/psql
[ -x "$psql" ] || psql=$(command -v psql) || { echo "pg_start: psql is missing" >&2; exit 1; }

here=$(cd "$(dirname "$0")" && pwd)
# A server left over from an interrupted run goes first.
bash "$here/pg_stop.sh" "$state" || true
rm -rf "$state"
mkdir -p "$state"
state=$(cd "$state" && pwd)

# PostgreSQL refuses to run as root: as root, run it as an unprivileged system user.
run=()
if [ "$(id -u)" -eq 0 ]; then
  pguser=norvane-pg
  if ! id "$pguser" >/dev/null 2>&1; then
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$pguser"
  fi
  run=(runuser -u "$pguser" --)
fi
as_pg() { "${run[@]}" "$@"; }

# The server's files live in the state folder, unless the server's user cannot reach it
# (a parent folder closed to others) or its socket path would be too long: then in /tmp.
home=$state/server
mkdir -p "$home"
[ ${#run[@]} -eq 0 ] || chown "$pguser" "$home"
if ! as_pg test -w "$home" || [ ${#home} -gt 80 ]; then
  rm -rf "$home"
  home=$(mktemp -d /tmp/norvane-pg.XXXXXX)
  [ ${#run[@]} -eq 0 ] || chown "$pguser" "$home"
  as_pg test -w "$home" || { echo "pg_start: $pguser cannot write $home" >&2; exit 1; }
fi
echo "$home" > "$state/server-home"
data=$home/data

printf '%s\n' 'norvane-superuser-pw' > "$home/pwfile"
[ ${#run[@]} -eq 0 ] || chown "$pguser" "$home/pwfile"
as_pg "$pgbin/initdb" -D "$data" -U postgres --pwfile="$home/pwfile" \
  --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C >"$state/initdb.log" 2>&1 || {
  cat "$state/initdb.log" >&2; exit 1; }

port_in_use() { ss -ltnH "sport = :$1" 2>/dev/null | grep -q .; }

started=
for attempt in 1 2 3 4 5 6 7 8; do
  port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
  port_in_use "$port" && continue
  cat >"$data/postgresql.auto.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$data'
max_connections = 20
shared_buffers = 16MB
fsync = off
synchronous_commit = off
full_page_writes = off
password_encryption = 'scram-sha-256'
CONF
  if as_pg "$pgbin/pg_ctl" -D "$data" -l "$home/server.log" -w -t 60 start >/dev/null; then
    started=1
    break
  fi
  echo "pg_start: port $port failed (attempt $attempt)" >&2
done
if [ -z "$started" ]; then
  cat "$home/server.log" >&2 || true
  exit 1
fi

sql() { as_pg "$psql" -X -q -v ON_ERROR_STOP=1 -h "$data" -p "$port" -U postgres "$@"; }

sql -d postgres <<'SQL'
CREATE ROLE norvane LOGIN PASSWORD 'norvane-pw';
CREATE ROLE norvane_semi LOGIN PASSWORD 'a;b}c {d';
CREATE DATABASE norvane OWNER norvane;
CREATE DATABASE norvane_max OWNER norvane;
CREATE DATABASE norvane_over OWNER norvane;
SQL

sql -d norvane <<'SQL'
SET ROLE norvane;
CREATE TABLE MasterAccounts (id integer PRIMARY KEY, name text NOT NULL);
CREATE TABLE SubAccounts (id integer PRIMARY KEY, master integer NOT NULL REFERENCES MasterAccounts(id));
INSERT INTO MasterAccounts VALUES (1, 'alpha'), (2, 'beta'), (3, 'gamma');
INSERT INTO SubAccounts VALUES (1, 1), (2, 1), (3, 2), (4, 3), (5, 3);
RESET ROLE;
GRANT SELECT ON MasterAccounts, SubAccounts TO norvane_semi;
SQL

# Count(*) found in public before pg_catalog: a real aggregate that counts the rows and
# adds an offset, so a count past 32 bits comes from the server itself.
for db in norvane_max norvane_over; do
  sql -d "$db" <<'SQL'
SET ROLE norvane;
CREATE FUNCTION public.big_count_step(n int8) RETURNS int8 LANGUAGE sql IMMUTABLE AS 'SELECT n + 1';
CREATE FUNCTION public.big_count_final(n int8) RETURNS int8 LANGUAGE sql IMMUTABLE AS 'SELECT n + 2147483646';
CREATE AGGREGATE public.count(*) (SFUNC = public.big_count_step, STYPE = int8, INITCOND = '0',
                                  FINALFUNC = public.big_count_final);
CREATE TABLE MasterAccounts (id integer PRIMARY KEY);
CREATE TABLE SubAccounts (id integer PRIMARY KEY);
INSERT INTO SubAccounts VALUES (1);
SQL
done
sql -d norvane_max -c 'INSERT INTO MasterAccounts VALUES (1)'
sql -d norvane_over -c 'INSERT INTO MasterAccounts VALUES (1), (2)'
sql -d postgres <<'SQL'
ALTER DATABASE norvane_max SET search_path = public, pg_catalog;
ALTER DATABASE norvane_over SET search_path = public, pg_catalog;
SQL

echo "$port" > "$state/port"
echo "pg_start: PostgreSQL on 127.0.0.1:$port, data in $data"
