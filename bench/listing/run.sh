#!/usr/bin/env bash
# Times the real program's listing against `rsync -rn --delete -i` on the same two trees, in the
# same run, with a warm page cache (each tool runs once before the timed rounds), on two pairs:
# 100,000 files in 10,000 folders per side and 1,000,000 files in 60,000 folders per side.
#
# The program is the built executable in an automatic run (/mp SRC /sp DST, no action
# switches) under the offscreen platform (XVFB=1: under xvfb-run instead), with the window and
# its rows. Such a run lists and then closes through the save-settings question; measure.py
# ends the process once the listing's last log line is written and the process has gone idle
# in that question, and takes wall time, CPU time (all threads) and peak memory (VmHWM).
# The program runs from a copy in a scratch folder with its own HOME, so neither the build
# folder's run log nor the user's settings are touched. Memory per listed item is the peak
# above the empty program's own peak (the same run on two empty folders), divided by the
# source and target items together. A second line gives the engine alone (qm_bench_listing,
# the listing over a recording host without a window).
#
# The first backup (pairs first100k, first1m): the pair's source against an empty target in an
# unattended run (/ba), which ends by itself; the empty program's time is subtracted, and the
# memory is counted per new item.
#
# The trees (see maketrees.py) live under BENCH_TMP (default /tmp) and are deleted at the end;
# with KEEP_TREES=DIR they are made in DIR once and reused.
#
# Usage: bash bench/listing/run.sh [build-dir]          (default build dir: build-bench)
#        ROUNDS=3 ROUNDS_1M=1 PAIRS="100k 1m first1m" bash bench/listing/run.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
here=$repo/bench/listing
build=${1:-$repo/build-bench}
rounds=${ROUNDS:-3}
rounds_1m=${ROUNDS_1M:-1}
pairs=${PAIRS:-100k 1m first1m}

command -v rsync >/dev/null || apt-get install -y rsync >/dev/null
if [[ -n "${XVFB:-}" ]]; then command -v xvfb-run >/dev/null || apt-get install -y xvfb >/dev/null; fi
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target QuorvelMarnisyn qm_bench_listing >/dev/null
driver=$(find "$build" -name qm_bench_listing -type f -perm -u+x | head -1)
program=$build/QuorvelMarnisyn

if [[ -n "${KEEP_TREES:-}" ]]; then
  work=$KEEP_TREES
  mkdir -p "$work"
else
  work=$(mktemp -d "${BENCH_TMP:-/tmp}/qm_bench_listing.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
scratch=$(mktemp -d "${BENCH_TMP:-/tmp}/qm_bench_listing_run.XXXXXX")
trap 'rm -rf "$scratch"; [[ -n "${KEEP_TREES:-}" ]] || rm -rf "$work"' EXIT
mkdir -p "$scratch/bin" "$scratch/home" "$scratch/empty/s" "$scratch/empty/t"
cp "$program" "$scratch/bin/QuorvelMarnisyn"
# The empty program: one identical file on both sides (an empty source stops at a notice box).
echo x > "$scratch/empty/s/x"; cp -p "$scratch/empty/s/x" "$scratch/empty/t/x"

# prog SRC DST -> "wall_ms cpu_ms peak_kib" of one automatic listing
prog() {
  rm -f "$scratch/bin/LogQuorvelMarnisyn.txt"
  local wrap=() qpa=offscreen
  if [[ -n "${XVFB:-}" ]]; then wrap=(xvfb-run -a); qpa=xcb; fi
  HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config LC_ALL=C QT_QPA_PLATFORM=$qpa \
    "${wrap[@]}" python3 "$here/measure.py" --until-idle "$scratch/bin/LogQuorvelMarnisyn.txt" \
    "Found on Target Orphans Files/folders" "$scratch/bin/QuorvelMarnisyn" /mp "$1" /sp "$2"
}
rsy() { python3 "$here/measure.py" rsync -rn --delete -i "$1/" "$2/"; }
engine() { "$driver" "$1/" "$2/" | sed -n 's/^listing_ms=\([0-9]*\).*/\1/p'; }
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
col() { local i=$1; shift; for x in "$@"; do echo "$x" | tr , ' ' | cut -d' ' -f"$i"; done; }

# progba SRC DST -> "wall_ms cpu_ms peak_kib" of one unattended listing (/ba ends by itself)
progba() {
  rm -f "$scratch/bin/LogQuorvelMarnisyn.txt"
  HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config LC_ALL=C QT_QPA_PLATFORM=offscreen \
    python3 "$here/measure.py" "$scratch/bin/QuorvelMarnisyn" /mp "$1" /sp "$2" /ba || true
}

# The first backup: the pair's source against an empty target, every item new. Unattended
# runs (/ba), the empty program's own run subtracted from the time; memory per new item is the
# peak above the empty program's peak divided by the source's items.
first_backup() {
  local pair=$1 src=$2 n=$3 none=$scratch/first-target
  mkdir -p "$none"
  local base; base=$(progba "$scratch/empty/s" "$scratch/empty/t")
  echo "first $pair: empty program /ba (wall cpu ms, peak KiB): $base"
  local newitems; newitems=$(find "$src" -mindepth 1 | wc -l)
  echo "warming the page cache ..."
  progba "$src" "$none" >/dev/null
  rsy "$src" "$none" >/dev/null
  local P=() R=() r
  for ((r = 0; r < n; r++)); do
    P+=("$(progba "$src" "$none" | tr ' ' ,)")
    R+=("$(rsy "$src" "$none" | tr ' ' ,)")
  done
  echo "first $pair program rounds (wall,cpu ms,peak KiB): ${P[*]}"
  echo "first $pair rsync   rounds (wall,cpu ms,peak KiB): ${R[*]}"
  local pw pm rw bw bm
  pw=$(median $(col 1 "${P[@]}")) pm=$(median $(col 3 "${P[@]}")) rw=$(median $(col 1 "${R[@]}"))
  bw=$(echo "$base" | cut -d' ' -f1) bm=$(echo "$base" | cut -d' ' -f3)
  awk -v pair="$pair" -v pw="$pw" -v pm="$pm" -v rw="$rw" -v bw="$bw" -v bm="$bm" -v items="$newitems" 'BEGIN {
    printf "first backup %s (%d new items): program %d ms (%d ms less the empty program), peak %.1f MB | rsync -rn --delete -i: %d ms\n",
      pair, items, pw, pw - bw, pm / 1024, rw
    printf "first backup %s ratio program/rsync: %.2f (goal <= 0.5)\n", pair, (pw - bw) / rw
    printf "first backup %s memory above the empty program: %.1f MB = %.0f bytes per new item (goal <= 100)\n",
      pair, (pm - bm) / 1024, (pm - bm) * 1024 / items
  }'
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
empty=$(prog "$scratch/empty/s" "$scratch/empty/t")
empty_kib=$(echo "$empty" | cut -d' ' -f3)
echo "empty program (wall cpu ms, peak KiB): $empty"

for pair in $pairs; do
  first=
  case $pair in
    100k) files=100000 folders=10000 n=$rounds ;;
    1m) files=1000000 folders=60000 n=$rounds_1m ;;
    first100k) pair=100k first=1 files=100000 folders=10000 n=$rounds ;;
    first1m) pair=1m first=1 files=1000000 folders=60000 n=$rounds_1m ;;
    *) echo "unknown pair $pair" >&2; exit 2 ;;
  esac
  src=$work/p$pair/src dst=$work/p$pair/dst
  if [[ -d "$src" && -d "$dst" && -e "$work/p$pair/.complete" ]]; then
    echo "== $pair: reusing the trees in $work/p$pair"
  else
    echo "== $pair: preparing $files files in $folders folders per side ..."
    rm -rf "$work/p$pair"
    python3 "$here/maketrees.py" "$src" "$dst" "$files" "$folders"
    sync
    touch "$work/p$pair/.complete"
  fi
  if [[ -n "$first" ]]; then first_backup "$pair" "$src" "$n"; continue; fi
  items=$(( $(find "$src" -mindepth 1 | wc -l) + $(find "$dst" -mindepth 1 | wc -l) ))
  echo "warming the page cache ..."
  prog "$src" "$dst" >/dev/null
  rsy "$src" "$dst" >/dev/null
  P=() R=() E=()
  for ((r = 0; r < n; r++)); do
    P+=("$(prog "$src" "$dst" | tr ' ' ,)")
    R+=("$(rsy "$src" "$dst" | tr ' ' ,)")
    E+=("$(engine "$src" "$dst")")
  done
  echo "program rounds (wall,cpu ms,peak KiB): ${P[*]}"
  echo "rsync   rounds (wall,cpu ms,peak KiB): ${R[*]}"
  pw=$(median $(col 1 "${P[@]}")) pc=$(median $(col 2 "${P[@]}")) pm=$(median $(col 3 "${P[@]}"))
  rw=$(median $(col 1 "${R[@]}")) rc=$(median $(col 2 "${R[@]}")) rm_=$(median $(col 3 "${R[@]}"))
  em=$(median "${E[@]}")
  awk -v pair="$pair" -v pw="$pw" -v pc="$pc" -v pm="$pm" -v rw="$rw" -v rc="$rc" -v rm="$rm_" \
      -v items="$items" -v base="$empty_kib" -v em="$em" 'BEGIN {
    printf "%s program: wall %d ms, cpu %d ms, peak %.1f MB | rsync -rn --delete -i: wall %d ms, cpu %d ms, peak %.1f MB\n",
      pair, pw, pc, pm / 1024, rw, rc, rm / 1024
    printf "%s ratios program/rsync: wall %.2f, cpu %.2f (goal <= 0.6), memory %.1fx\n", pair, pw / rw, pc / rc, pm / rm
    printf "%s memory above the empty program (%.1f MB): %.1f MB for %d items = %.0f bytes per item (goal <= 100)\n",
      pair, base / 1024, (pm - base) / 1024, items, (pm - base) * 1024 / items
    printf "%s engine alone (no window): %d ms wall, %.2f of rsync wall\n", pair, em, em / rw
  }'
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
