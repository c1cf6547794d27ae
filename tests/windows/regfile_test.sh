#!/usr/bin/env bash
# REGEDIT4 files between the embedded store (norvane-reg built for this machine) and the
# Windows registry under Wine (norvane-reg.exe, and Wine's own regedit and reg).
# Usage: wine_regfile_test.sh NATIVE_NORVANE_REG NORVANE_REG_EXE WINE_RUN WINEPREFIX
set -euo pipefail

native=${1:?}
exe=${2:?}
wine_run=${3:?}
export WINEPREFIX=${4:?}
if [ ! -x "$native" ]; then
  echo "no norvane-reg for this machine at '$native' (scripts/test-windows builds it)" >&2
  exit 1
fi

work=$(mktemp -d)
# A key of this run's own: the registry in the prefix outlives the test.
key="HKEY_LOCAL_MACHINE\\SOFTWARE\\NorvaneTest-RegFile-$$-$RANDOM"
wine_reg() { "$wine_run" "$exe" "$@"; }
cleanup() {
  wine_reg delete "$key" /f >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }
same_file() {  # EXPECTED ACTUAL WHAT
  if ! cmp -s "$1" "$2"; then
    fail "$3"
    diff "$1" "$2" >&2 || true
  fi
}

# Every form a value can take, CRLF line ends, values in order of their names without
# regard to case (the order in which Wine lists them; see below).
s='\'
{
  printf '%s\r\n' REGEDIT4 '' "[$key]" '' "[$key${s}Tarsel]" '' "[$key${s}Tarsel${s}Norvane]"
  printf '%s\r\n' \
    '@="default text"' \
    '"Blob"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\' \
    '  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\' \
    '  2f,30,31,32,33,34,35,36,37,38,39,3a,3b' \
    '"Empty"=""' \
    '"EmptyBinary"=hex:' \
    '"Expand"=hex(2):25,50,41,54,48,25,00' \
    "\"High\"=\"caf$(printf '\351') $(printf '\265')\"" \
    '"Max"=dword:ffffffff' \
    '"Multi"=hex(7):61,00,62,00,00' \
    '"None"=hex(0):01,02' \
    '"NoNul"=hex(1):31,38,31,32' \
    '"Port"="1812"' \
    '"Say \"hi\" C:\\dir\\"="it'"'"'s \"quoted\" \\ back"' \
    '"ShortDword"=hex(4):01,02' \
    '"Small"=dword:00000714' \
    '"Tab"=hex(1):61,09,62,00' \
    '"TwoNuls"=hex(1):31,38,31,32,00,00' \
    '"UsersFile"="Users"' \
    '"ZeroLength"=hex(1):' \
    ''
  printf '%s\r\n' "[$key${s}Tarsel${s}Norvane${s}Alpha]" '"x"=dword:00000000' '' \
    "[$key${s}Tarsel${s}Norvane${s}Alpha${s}Deep]" '' \
    "[$key${s}Tarsel${s}Norvane${s}beta]" '"y"="z"' ''
} >in.reg

# The file as the embedded store exports it.
export NORVANE_REGISTRY=$work/store.db
"$native" import in.reg >/dev/null
"$native" export "$key" native.reg >/dev/null
same_file in.reg native.reg "the embedded store does not export the file it imported"

# Into the registry and out again, byte for byte; then back into a fresh embedded store.
wine_reg import native.reg >/dev/null
wine_reg export "$key" wine.reg >/dev/null
same_file native.reg wine.reg "the registry under Wine does not export the file it imported"
export NORVANE_REGISTRY=$work/back.db
"$native" import wine.reg >/dev/null
"$native" export "$key" back.reg >/dev/null
same_file wine.reg back.reg "the embedded store does not export the file the registry exported"

# Where the two differ: the embedded store lists a key's values in the order they were
# first written, Wine (unlike Windows) by name. The same values in another order come
# out of Wine in name order, each value's bytes unchanged.
{
  sed -n '1,7p' in.reg
  grep -a '^"UsersFile"\|^"Port"\|^"Max"\|^@' in.reg
  sed -n '/^"Blob"/,/^"ZeroLength"/p' in.reg | grep -av '^"UsersFile"\|^"Port"\|^"Max"'
  sed -n '/^"ZeroLength"/,$p' in.reg | tail -n +2
} >reordered.reg
wine_reg delete "$key" /f >/dev/null
export NORVANE_REGISTRY=$work/reordered.db
"$native" import reordered.reg >/dev/null
"$native" export "$key" reordered-native.reg >/dev/null
same_file reordered.reg reordered-native.reg "the embedded store does not keep the order of first writing"
wine_reg import reordered-native.reg >/dev/null
wine_reg export "$key" reordered-wine.reg >/dev/null
same_file in.reg reordered-wine.reg "Wine does not list the values by name"

# Wine's own regedit takes the file the embedded store exported ...
wine_reg delete "$key" /f >/dev/null
"$wine_run" regedit /S "$(pwd)/native.reg" >/dev/null
wine_reg export "$key" regedit.reg >/dev/null
# ... and stores every value as norvane-reg does but one: it adds a NUL to a REG_SZ
# given as hex(1) without one, which norvane-reg stores as the bytes stand.
sed 's/^"NoNul"=hex(1):31,38,31,32\r$/"NoNul"="1812"\r/' native.reg >regedit-expected.reg
same_file regedit-expected.reg regedit.reg "Wine's regedit stores other bytes than norvane-reg"

# Wine's reg shows the values as norvane-reg shows them (the value lines; the two lay out
# key names differently). reg writes the console's code page (437), norvane-reg the bytes
# as stored (1252). reg shows a REG_DWORD of other than four bytes and a zero-length
# REG_SZ from whatever its buffer held before, so those two lines say nothing.
values_of() {  # CODEPAGE: the value lines of a query's output
  iconv -f "$1" -t UTF-8 | tr -d '\r' | grep -a '^    ' | grep -av '^    ShortDword \|^    ZeroLength ' || true
}
for sub in "${s}Tarsel${s}Norvane" "${s}Tarsel${s}Norvane${s}Alpha" "${s}Tarsel${s}Norvane${s}beta"; do
  "$wine_run" reg query "$key$sub" | values_of CP437 >reg-query.txt
  wine_reg query "$key$sub" | values_of CP1252 >norvane-query.txt
  if [ ! -s reg-query.txt ]; then
    fail "Wine's reg shows no values under $key$sub"
  fi
  same_file reg-query.txt norvane-query.txt "Wine's reg and norvane-reg show $key$sub differently"
done

# The same commands do the same on both stores: what they print (line ends aside), how
# they end, and what they leave behind.
cmd="$key${s}Commands"
steps=(
  "add|$cmd|/ve|/d|default|/f"
  "add|$cmd|/v|Blob|/t|REG_BINARY|/d|0102ff|/f"
  "add|$cmd|/v|List|/t|REG_MULTI_SZ|/d|a\\0b|/f"
  "add|$cmd|/v|Path|/t|REG_EXPAND_SZ|/d|%SystemRoot%|/f"
  "add|$cmd|/v|Port|/t|REG_DWORD|/d|1812|/f"
  "add|$cmd|/v|Text|/d|hello|/f"
  "add|$cmd${s}Sub|/f"
  "add|$cmd|/v|Port|/d|again"
  "query|$cmd"
  "query|$cmd|/v|PORT"
  "delete|$cmd|/v|Path|/f"
  "delete|$cmd|/v|Path|/f"
  "delete|$cmd${s}Sub|/f"
  "query|$cmd"
  "export|$cmd|commands.reg|/y"
)
export NORVANE_REGISTRY=$work/commands.db
for side in native wine; do
  : >"$side.out"
  for step in "${steps[@]}"; do
    IFS='|' read -r -a args <<<"$step"
    if [ "$side" = native ]; then
      status=0; "$native" "${args[@]}" >step.out 2>/dev/null </dev/null || status=$?
    else
      status=0; wine_reg "${args[@]}" >step.out 2>/dev/null </dev/null || status=$?
    fi
    { echo "> ${args[*]}: $status"; tr -d '\r' <step.out; } >>"$side.out"
  done
  mv commands.reg "$side-commands.reg"
done
same_file native.out wine.out "norvane-reg does not do the same on both stores"
same_file native-commands.reg wine-commands.reg "norvane-reg leaves other values on the two stores"
grep -q '^> add .* again: 1$' native.out || fail "an existing value was overwritten without /f"

exit $failed
