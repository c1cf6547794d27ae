#!/usr/bin/env bash
# odbc_fixture.sh DIR DRIVER: an ODBC system folder in DIR, with the SQLite driver
# DRIVER and one data source, "NorvaneAccounts", over an accounts database of 3 master
# and 5 sub accounts. The tests that use it get ODBCSYSINI=DIR before they start: under
# Wine the driver manager sees only the variables a process started with.
set -euo pipefail
dir=${1:?usage: odbc_fixture.sh DIR DRIVER}
driver=${2:?usage: odbc_fixture.sh DIR DRIVER}
rm -rf "$dir"
mkdir -p "$dir"
sqlite3 "$dir/accounts.db" <<'SQL'
CREATE TABLE MasterAccounts(Id INTEGER PRIMARY KEY, Name TEXT);
CREATE TABLE SubAccounts(Id INTEGER PRIMARY KEY, Master INTEGER);
INSERT INTO MasterAccounts VALUES (1, 'm'), (2, 'm'), (3, 'm');
INSERT INTO SubAccounts VALUES (1, 1), (2, 1), (3, 2), (4, 2), (5, 3);
SQL
printf '[SQLite3]\nDriver=%s\n' "$driver" >"$dir/odbcinst.ini"
printf '[NorvaneAccounts]\nDriver=SQLite3\nDatabase=%s\n' "$dir/accounts.db" >"$dir/odbc.ini"
: >"$dir/user.ini"
