#!/usr/bin/env bash
# Whole-process peak memory of loading a users file (50-byte CRLF lines) into the editor,
# against reading, decoding and QPlainTextEdit::setPlainText of the same file. Prints
# "peak_rss_mb MB EDITOR FLOOR RATIO" (medians of RUNS runs each, taken in turn).
#   bench/fileload.sh BIN_DIR MB [RUNS]
set -euo pipefail
bin=${1:?usage: fileload.sh BIN_DIR MB [RUNS]}
mb=${2:?usage: fileload.sh BIN_DIR MB [RUNS]}
runs=${3:-5}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

dir=$(mktemp -d "${NORVANE_BENCH_DIR:-$PWD}/norvane-fileload-XXXXXX")
trap 'rm -rf "$dir"' EXIT
awk -v n=$((mb * 20000)) 'BEGIN {
  for (i = 0; i < n; i++) printf "user%07d Cleartext-Password := \"pw%08d\" #%02d\r\n", i, (i * 7) % 100000000, i % 100 }' \
  >"$dir/Users"

rss() {  # max RSS in kB of one run
  /usr/bin/time -f '%M' -o "$dir/rss" "$bin/bench_fileload" "$1" "$dir/Users" >/dev/null 2>&1
  tail -1 "$dir/rss"
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

editor=() floor=()
for _ in $(seq 1 "$runs"); do
  editor+=("$(rss editor)")
  floor+=("$(rss floor)")
done
e=$(printf '%s\n' "${editor[@]}" | median)
f=$(printf '%s\n' "${floor[@]}" | median)
awk -v mb="$mb" -v e="$e" -v f="$f" 'BEGIN { printf "peak_rss_mb %d %.1f %.1f %.2f\n", mb, e / 1024, f / 1024, e / f }'
