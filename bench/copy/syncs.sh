#!/usr/bin/env bash
# What the syncs of a run cost: the first backup of 20,000 small files and of a real tree
# (default /usr/share), on a real disk (never tmpfs), by the program with its syncs, the same
# program without them (nosync.c preloaded: its fsync and syncfs do nothing), and against
# `rsync -rt` + `sync` (small files) and `rsync -rlt` + `sync` (the real tree), each tool's
# time taken up to the end of its `sync`. Goals: with syncs, at most 0.7 of `rsync -rt` + `sync`
# for the small files and at most 0.9 of `rsync -rlt` + `sync` for the real tree.
#
# The program is the real executable in an unattended run ("/mp SRC /sp DST /sy /ba"); its own
# start and close (the median of the same run on a one-file pair with nothing to copy) are
# subtracted. Every run writes into an empty folder of its own, the disk is synced before each
# one and the source read once, so every tool starts from a warm cache and a clean disk. Wall
# times, medians of ROUNDS rounds, the tools' order turning from round to round.
#
# Usage: bash bench/copy/syncs.sh [build-dir [tree]]   (default build dir: build-bench)
#        ROUNDS=5 SMALL_FILES=20000 BENCH_TMP=/var/tmp bash bench/copy/syncs.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build-bench}
tree=${2:-/usr/share}
rounds=${ROUNDS:-5}
small_files=${SMALL_FILES:-20000}
place=${BENCH_TMP:-/var/tmp}

if [[ $(stat -f -c %T "$place") == tmpfs ]]; then
  echo "$place is on tmpfs: give BENCH_TMP a folder on a real disk" >&2
  exit 2
fi
command -v rsync >/dev/null || { echo "rsync is needed (apt-get install rsync)" >&2; exit 2; }
if [[ ! -x $build/QuorvelMarnisyn ]]; then
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target QuorvelMarnisyn >/dev/null
fi
work=$(mktemp -d "$place/qm_bench_syncs.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/home" "$work/one/s" "$work/one/t"
cp "$build/QuorvelMarnisyn" "$work/bin/"
cc -shared -fPIC -O2 -o "$work/bin/nosync.so" "$(dirname "$0")/nosync.c"
echo x > "$work/one/s/x"; cp -p "$work/one/s/x" "$work/one/t/x"
python3 "$(dirname "$0")/smalltree.py" "$work/small" "$small_files"

# ms COMMAND... : the wall milliseconds of the command (its output discarded).
ms() {
  local s e
  s=$(date +%s%N)
  "$@" > /dev/null 2>&1 || true
  e=$(date +%s%N)
  echo $(( (e - s) / 1000000 ))
}
program() {
  HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share LC_ALL=C \
    QT_QPA_PLATFORM=offscreen "$work/bin/QuorvelMarnisyn" /mp "$1" /sp "$2" /sy /ba
}
program_nosync() { LD_PRELOAD=$work/bin/nosync.so program "$@"; }
rsync_sync() { rsync "$1" "$2" "$3"; sync; }
warm() { find "$1" -type f -print0 | xargs -0 cat > /dev/null 2>&1 || true; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

startup=$(for i in 1 2 3 4 5; do ms program "$work/one/s" "$work/one/t"; done | median)
echo "program start and close (subtracted): $startup ms"

# one NAME SRC TOOL : one timed copy of SRC into a new, empty folder of its own.
declare -A times
one() {
  local name=$1 src=$2 tool=$3 dst=$work/out/$1.$3.$RANDOM
  mkdir -p "$dst"
  sync; warm "$src"
  local t
  case $tool in
    program) t=$(( $(ms program "$src/" "$dst/") - startup )) ;;
    nosync) t=$(( $(ms program_nosync "$src/" "$dst/") - startup )) ;;
    rsync-rt) t=$(ms rsync_sync -rt "$src/" "$dst/") ;;
    rsync-rlt) t=$(ms rsync_sync -rlt "$src/" "$dst/") ;;
  esac
  times[$name.$tool]+="$t "
  rm -rf "$dst"; sync
}
for r in $(seq 1 "$rounds"); do
  tools=(program nosync rsync-rt)
  (( r % 3 == 1 )) && tools=(nosync rsync-rt program)
  (( r % 3 == 2 )) && tools=(rsync-rt program nosync)
  for t in "${tools[@]}"; do one small "$work/small" "$t"; done
  tools=(program nosync rsync-rlt)
  (( r % 3 == 1 )) && tools=(nosync rsync-rlt program)
  (( r % 3 == 2 )) && tools=(rsync-rlt program nosync)
  for t in "${tools[@]}"; do one real "$tree" "$t"; done
  echo "round $r: small ${times[small.program]}| ${times[small.nosync]}| ${times[small.rsync-rt]}" >&2
done
med() { echo "${times[$1]}" | tr ' ' '\n' | grep . | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
files=$(find "$tree" -type f | wc -l); links=$(find "$tree" -type l | wc -l)
sp=$(med small.program); sn=$(med small.nosync); sr=$(med small.rsync-rt)
rp=$(med real.program); rn=$(med real.nosync); rr=$(med real.rsync-rlt)
echo "Disk: $(df --output=source,fstype "$place" | tail -1)"
printf '%-52s %9s %9s %11s %6s %6s %s\n' "Work ($rounds rounds, median wall)" syncs "no syncs" alternative cost ratio goal
printf '%-52s %6s ms %6s ms %8s ms %6s %6s %s\n' "$small_files small files / rsync -rt + sync" \
  "$sp" "$sn" "$sr" "$(ratio "$sp" "$sn")" "$(ratio "$sp" "$sr")" "<= 0.7"
printf '%-52s %6s ms %6s ms %8s ms %6s %6s %s\n' "$tree ($files files, $links links) / rsync -rlt + sync" \
  "$rp" "$rn" "$rr" "$(ratio "$rp" "$rn")" "$(ratio "$rp" "$rr")" "<= 0.9"
