#!/usr/bin/env bash
# Whole-process start-up to the first idle point after the main window is shown, and the
# peak memory up to it: the administrator over the seeded demo store with 20 data
# sources, against a bare Qt Widgets window with the same controls on the same pages.
# Both processes end at that point. Prints median wall time and median max RSS of RUNS
# runs of each, taken in turn.
#   bench/startup.sh BIN_DIR [RUNS]
set -euo pipefail
bin=${1:?usage: startup.sh BIN_DIR [RUNS]}
runs=${2:-15}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
"$bin/norvane-demo-setup" "$demo" >/dev/null
# The demo has two data sources; 18 more make 20.
for i in $(seq 1 18); do
  printf '\n[Extra%02d]\nDriver=SQLite3\nDatabase=%s/extra%02d.sqlite\n' "$i" "$demo" "$i" >>"$demo/odbc.ini"
done
export NORVANE_REGISTRY=$demo/registry.db ODBCSYSINI=$demo ODBCINI=$demo/odbc.ini

counts=$(NORVANE_BENCH_COUNT=1 "$bin/bench_startup_admin" 2>/dev/null)
read -r -a count <<<"$counts"

# One run: "milliseconds maxrss_kb".
measure() {
  local t0 t1 rss
  t0=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$demo/rss" "$@" >/dev/null 2>&1
  rss=$(tail -1 "$demo/rss")
  t1=$(date +%s%N)
  echo "$(( (t1 - t0) / 1000 )) $rss"
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

admin=() floor=()
measure "$bin/bench_startup_admin" >/dev/null   # warm the page cache
measure "$bin/bench_startup_floor" "${count[@]}" >/dev/null
for _ in $(seq 1 "$runs"); do
  admin+=("$(measure "$bin/bench_startup_admin")")
  floor+=("$(measure "$bin/bench_startup_floor" "${count[@]}")")
done
at=$(printf '%s\n' "${admin[@]}" | awk '{print $1}' | median)
am=$(printf '%s\n' "${admin[@]}" | awk '{print $2}' | median)
ft=$(printf '%s\n' "${floor[@]}" | awk '{print $1}' | median)
fm=$(printf '%s\n' "${floor[@]}" | awk '{print $2}' | median)
echo "controls (labels checkboxes lineedits combos buttons frames editors; client area, then each page; actions): ${count[*]}"
awk -v at="$at" -v ft="$ft" -v am="$am" -v fm="$fm" -v runs="$runs" 'BEGIN {
  printf "startup_ms %.1f %.1f %.2f\n", at / 1000, ft / 1000, at / ft
  printf "peak_rss_mb %.1f %.1f %.2f\n", am / 1024, fm / 1024, am / fm
  printf "runs %d\n", runs
}'
