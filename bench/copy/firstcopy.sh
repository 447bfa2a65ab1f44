#!/usr/bin/env bash
# The first backup's copy against the usual tools, each in the same run, warm cache for all:
#   small: 20,000 files of 0 to 16 KiB in 100 folders copied into an empty folder, against
#          `rsync -rt` (goal: ratio at most 0.4);
#   real:  a real tree (default /usr/share, or the tree given as the second argument) copied
#          into an empty folder, against `rsync -rlt` (goal at most 0.8) and `cp -a` (goal at
#          most 1.0).
# The program is the real executable in an unattended run ("/mp SRC /sp DST /sy /ba"), which
# lists, copies and ends by itself; its own start and close (the median of the same run on a
# one-file pair with nothing to copy) are subtracted. Every tool writes into a destination of
# its own, and the source is read once right before each run. The page cache cannot be dropped
# here: warm cache for all, and the figures are wall times, medians of ROUNDS rounds, the
# order of the tools turning from round to round.
#
# Usage: bash bench/copy/firstcopy.sh [build-dir [tree]]   (default build dir: build-bench)
#        ROUNDS=3 SMALL_FILES=20000 bash bench/copy/firstcopy.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build-bench}
tree=${2:-/usr/share}
rounds=${ROUNDS:-3}
small_files=${SMALL_FILES:-20000}

command -v rsync >/dev/null || apt-get install -y rsync >/dev/null
if [[ ! -x $build/QuorvelMarnisyn ]]; then
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target QuorvelMarnisyn >/dev/null
fi
work=$(mktemp -d "${BENCH_TMP:-/tmp}/qm_bench_first.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/home" "$work/one/s" "$work/one/t"
cp "$build/QuorvelMarnisyn" "$work/bin/"
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
    rsync-rt) t=$(ms rsync -rt "$src/" "$dst/") ;;
    rsync-rlt) t=$(ms rsync -rlt "$src/" "$dst/") ;;
    cp-a) rmdir "$dst"; t=$(ms cp -a "$src" "$dst") ;;
  esac
  sync
  times[$name.$tool]+="$t "
}
for r in $(seq 1 "$rounds"); do
  tools=(program rsync-rt); (( r % 2 == 0 )) && tools=(rsync-rt program)
  for t in "${tools[@]}"; do one small "$work/small" "$t"; done
  tools=(program rsync-rlt cp-a); (( r % 2 == 0 )) && tools=(cp-a rsync-rlt program)
  for t in "${tools[@]}"; do one real "$tree" "$t"; done
  rm -rf "$work/out"
done
med() { echo "${times[$1]}" | tr ' ' '\n' | grep . | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
files=$(find "$tree" -type f | wc -l); links=$(find "$tree" -type l | wc -l)
sp=$(med small.program); sr=$(med small.rsync-rt)
rp=$(med real.program); rr=$(med real.rsync-rlt); rc=$(med real.cp-a)
printf '%-58s %9s %12s %7s %s\n' "Work ($rounds rounds, median wall)" program alternative ratio goal
printf '%-58s %7s ms %9s ms %7s %s\n' "$small_files small files into an empty folder / rsync -rt" "$sp" "$sr" "$(ratio "$sp" "$sr")" "<= 0.4"
printf '%-58s %7s ms %9s ms %7s %s\n' "$tree ($files files, $links links) / rsync -rlt" "$rp" "$rr" "$(ratio "$rp" "$rr")" "<= 0.8"
printf '%-58s %7s ms %9s ms %7s %s\n' "$tree / cp -a" "$rp" "$rc" "$(ratio "$rp" "$rc")" "<= 1.0"
