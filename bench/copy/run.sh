#!/usr/bin/env bash
# Times the real program copying (an automatic run "/mp SRC /sp DST /cm" into an empty folder,
# under the offscreen platform, its start-up and close subtracted) against
# `cp --preserve=timestamps` and `rsync -t` in the same run: one 2 GiB file, and 20,000 files of
# 0 to 16 KiB in 100 folders. The program's run lists the source first (as a user's run
# does); the figure is its whole run less the same run on a one-file pair with nothing to
# copy. The run closes through the save-settings question, which nobody answers here:
# bench/listing/measure.py ends it once the copy has begun and the process has gone idle in
# that question. The line that matters is "real program / rsync -rt" on the small files.
#
# The engine alone (bench/copy's driver calling CopyBigFiles file by file) is kept as a second
# line. It differs from the real program in what it leaves out: no listing (the program lists
# and compares all 20,000 source files and fills the window's lists before the first copy), no
# checks of each listed item against the folders and the listing, no window (the program lets
# its events run and repaints the bar and labels every 50 ms), and a readdir walk instead of
# the listing's order. The copies themselves are the same calls on the same files, so the
# gap between the two lines is what the listing and the window cost; the driver may even come
# out slower in a round, when its inodes are the ones the file system has to search longest
# (below).
#
# Two more lines give the floor: floor.c makes the copier's own system calls for each file (the
# source opened, locked and asked once; the temporary file made exclusively, locked and asked
# once; the data moved in the kernel; the times set; the temporary file's identity checked; the
# rename) with nothing around them, and once more straight to the final name, as a copy without
# the temporary file would. What separates the program from rsync is then measured: the
# temporary file and its rename (rsync makes one too, in its receiving process), and the one
# thread that lists and copies while rsync's three processes overlap the walk and the copies.
#
# Every tool starts from the same state: all earlier writes synced and the source read once
# right before (warm in the page cache for all). Copy times exclude the final writeback, for
# all tools alike. Each tool writes into a destination of its own and the small-file copies are
# not deleted until the whole bench is over: on ext4 without a journal (as on this project's
# machines) the creation of a file skips, inode by inode, every inode freed in the last minutes,
# so a tool that runs right after 20,000 deletions pays far more for the same files than one
# that does not. Memory freed just before a run can also cost the next tool extra on a virtual
# machine that hands freed pages back to its host. The order of the tools turns from round to
# round. Each figure is the median of ROUNDS rounds. The data lives under BENCH_TMP (default
# /tmp) and is deleted at the end.
#
# The deletion at the end has the same effect on whatever creates files there in the next
# minutes: let a few minutes pass between two runs of this bench.
#
# Usage: bash bench/copy/run.sh [build-dir]      (default build dir: build-bench)
#        BTRFS=1 bash bench/copy/run.sh           (the same on a btrfs loop image; root only)
#        EXT4=1 bash bench/copy/run.sh            (on a new ext4 loop image; root only)
#        ROUNDS=5 BIG_MB=2048 SMALL_FILES=10000 bash bench/copy/run.sh
#        BIG_MB=0 bash bench/copy/run.sh          (the small files only)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build-bench}
rounds=${ROUNDS:-3}
big_mb=${BIG_MB:-2048}
small_files=${SMALL_FILES:-20000}

command -v rsync >/dev/null || apt-get install -y rsync >/dev/null
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target qm_bench_copy QuorvelMarnisyn >/dev/null
driver=$(find "$build" -name qm_bench_copy -type f -perm -u+x | head -1)
# The floor of the copy's own system calls, without the program around them (see floor.c).
floor=$build/qm_copy_floor
cc -O2 -o "$floor" "$repo/bench/copy/floor.c"

# BTRFS=1: everything runs on a btrfs file system in a loop image (root only), where cp and
# the program share the source's extents instead of copying the data. EXT4=1: on a new ext4
# file system (with its journal) in a loop image, the same for every run of the bench and free
# of what earlier deletions left behind (root only).
fs=
[[ -n "${BTRFS:-}" ]] && fs=btrfs
[[ -n "${EXT4:-}" ]] && fs=ext4
if [[ -n "$fs" ]]; then
  [[ $fs == btrfs ]] && { command -v mkfs.btrfs >/dev/null || apt-get install -y btrfs-progs >/dev/null; }
  img=$(mktemp "${BENCH_TMP:-/tmp}/qm_bench_copy_$fs.XXXXXX")
  mnt=$img.mnt
  mkdir -p "$mnt"
  truncate -s "$(( 6 * big_mb + 2048 + rounds * 4 * small_files * 12 / 1024 ))M" "$img"
  if [[ $fs == btrfs ]]; then mkfs.btrfs -q "$img"; else mkfs.ext4 -q -F -i 4096 "$img"; fi
  mount -o loop "$img" "$mnt"
  BENCH_TMP=$mnt
  trap 'rm -rf "$work"; umount "$mnt"; rm -rf "$img" "$mnt"' EXIT
fi
work=$(mktemp -d "${BENCH_TMP:-/tmp}/qm_bench_copy.XXXXXX")
[[ -n "$fs" ]] || trap 'rm -rf "$work"' EXIT
# The program runs from a copy with its own HOME: neither the build folder's run log nor the
# user's settings are touched.
mkdir -p "$work/bin" "$work/home" "$work/one/s" "$work/one/t"
cp "$build/QuorvelMarnisyn" "$work/bin/"
echo x > "$work/one/s/x"; cp -p "$work/one/s/x" "$work/one/t/x"
# program SRC DST [TEXT] -> "wall_ms cpu_ms peak_kib" of the automatic /cm run
program() {
  rm -f "$work/bin/LogQuorvelMarnisyn.txt"
  HOME=$work/home XDG_CONFIG_HOME=$work/home/.config LC_ALL=C QT_QPA_PLATFORM=offscreen IDLE_S=1 \
    python3 "$repo/bench/listing/measure.py" --until-idle "$work/bin/LogQuorvelMarnisyn.txt" \
    "${3:-.........Start copying}" "$work/bin/QuorvelMarnisyn" /mp "$1" /sp "$2" /cm
}
need_kb=$(( (4 * big_mb + 1000) * 1024 + rounds * 4 * small_files * 12 ))
free_kb=$(df -Pk "$work" | awk 'NR==2 {print $4}')
if (( free_kb < need_kb )); then
  echo "not enough disk under $work: need $need_kb KiB, have $free_kb KiB" >&2
  exit 1
fi

echo "preparing: one file of $big_mb MiB, $small_files small files ..."
# The big file alone in a folder: the program copies a folder's new files. BIG_MB=0 leaves
# the large file out.
if (( big_mb > 0 )); then
  mkdir -p "$work/bigsrc"
  head -c "$((big_mb * 1024 * 1024))" /dev/urandom > "$work/bigsrc/big.bin"
fi
python3 "$(dirname "$0")/smalltree.py" "$work/src" "$small_files"

warm_big() { cat "$work/bigsrc/big.bin" > /dev/null; }
warm_tree() { find "$work/src" -type f -print0 | xargs -0 cat > /dev/null; }

# run WARM COMMAND... : prints "wall-ms cpu-ms" of the command (cpu: user + system of all its
# processes). On a busy machine wall time favours a tool that runs several processes at once,
# so both are shown. The program's start-up and close (the median of STARTUP runs on a pair
# with nothing to copy) are subtracted from its figures.
run() {
  local warm=$1; shift
  sync
  $warm
  local TIMEFORMAT='%R %U %S' out
  if [[ $1 == program ]]; then
    out=$("$@" | awk -v w="$startup_wall" -v c="$startup_cpu" '{printf "%d %d\n", $1 - w, $2 - c}')
    sync
    echo "$out"
    return
  fi
  out=$( { time "$@" > /dev/null; } 2>&1 )
  sync
  echo "$out" | awk '{printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000}'
}
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

big() { # tool
  mkdir -p "$work/big_$1"
  case $1 in
    cp) run warm_big cp --preserve=timestamps "$work/bigsrc/big.bin" "$work/big_cp/big.bin" ;;
    rsync) run warm_big rsync -t "$work/bigsrc/big.bin" "$work/big_rsync/big.bin" ;;
    copier) run warm_big program "$work/bigsrc" "$work/big_copier" ;;
    engine) run warm_big "$driver" file "$work/bigsrc/big.bin" "$work/big_engine/big.bin" ;;
  esac
}
small() { # tool round
  local to=$work/small_$1.$2
  case $1 in
    cp) run warm_tree cp -r --preserve=timestamps "$work/src" "$to" ;;
    rsync) run warm_tree rsync -rt "$work/src/" "$to/" ;;
    copier) mkdir -p "$to"; run warm_tree program "$work/src" "$to" ;;
    engine) run warm_tree "$driver" tree "$work/src" "$to" ;;
    floor | direct)
      # Only the copies are timed (the folders are made first): the tool prints its own time.
      local t
      sync; warm_tree
      t=$("$floor" $([[ $1 == floor ]] && echo design || echo direct) "$work/src" "$to" 2>/dev/null)
      sync
      echo "$t $t" ;;
  esac
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
S=()
for ((i = 0; i < ${STARTUP:-5}; i++)); do S+=("$(program "$work/one/s" "$work/one/t" "Orphans Files/folders")"); done
startup_wall=$(median $(for x in "${S[@]}"; do echo "${x%% *}"; done))
startup_cpu=$(median $(for x in "${S[@]}"; do echo "$x" | cut -d' ' -f2; done))
echo "program start-up and close, subtracted below: ${startup_wall} ms wall, ${startup_cpu} ms cpu (runs: ${S[*]})"
declare -A res
tools=(cp rsync copier engine floor direct)
big_tools=(cp rsync copier engine)
for ((r = 1; r <= rounds; r++)); do
  order=("${tools[@]:$(( (r - 1) % ${#tools[@]} ))}" "${tools[@]:0:$(( (r - 1) % ${#tools[@]} ))}")
  line="round $r (wall cpu ms):"
  if (( big_mb > 0 )); then
    for t in "${order[@]}"; do
      [[ $t == floor || $t == direct ]] && continue
      res[big_${t}_$r]=$(big "$t"); line+=" big $t ${res[big_${t}_$r]},"
    done
    for t in "${big_tools[@]}"; do cmp "$work/bigsrc/big.bin" "$work/big_$t/big.bin"; done
    cmp <(stat -c %Y "$work/bigsrc/big.bin") <(stat -c %Y "$work/big_copier/big.bin")
    rm -rf "$work"/big_*; sync
  fi
  for t in "${order[@]}"; do res[small_${t}_$r]=$(small "$t" "$r"); line+=" small $t ${res[small_${t}_$r]},"; done
  for t in "${tools[@]}"; do diff -r "$work/src" "$work/small_$t.$r"; done
  # The program's and the driver's copies carry the source's modification times.
  for t in copier engine floor; do
    diff <(cd "$work/src" && find . -type f -printf '%p %T@\n' | sort) \
         <(cd "$work/small_$t.$r" && find . -type f -printf '%p %T@\n' | sort)
  done
  echo "${line%,}"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

vals() { local k=$1 i=$2; for ((r = 1; r <= rounds; r++)); do echo "${res[${k}_$r]:-0 0}" | cut -d' ' -f"$i"; done; }
best() { printf '%s\n' "$@" | sort -n | head -1; }
figures() { # key -> "median-wall median-cpu best-wall best-cpu"
  echo "$(median $(vals "$1" 1)) $(median $(vals "$1" 2)) $(best $(vals "$1" 1)) $(best $(vals "$1" 2))"
}
{
  for k in big_cp big_rsync big_copier big_engine small_cp small_rsync small_copier small_engine small_floor small_direct; do
    echo "$k $(figures $k)"
  done
} | awk -v mb="$big_mb" -v n="$small_files" '
function r(a, b) { return b > 0 ? a / b : 0 }
{ mw[$1] = $2; mc[$1] = $3; bw[$1] = $4; bc[$1] = $5 }
END {
  if (mb > 0) {
  printf "large file (%d MiB), wall ms median/best: cp %d/%d, rsync -t %d/%d, copier %d/%d\n", mb,
    mw["big_cp"], bw["big_cp"], mw["big_rsync"], bw["big_rsync"], mw["big_copier"], bw["big_copier"]
  printf "  copier throughput / cp: %.2f median, %.2f best (target >= 0.75); / rsync -t: %.2f median, %.2f best\n",
    r(mw["big_cp"], mw["big_copier"]), r(bw["big_cp"], bw["big_copier"]),
    r(mw["big_rsync"], mw["big_copier"]), r(bw["big_rsync"], bw["big_copier"])
  }
  printf "%d small files, wall ms median/best: cp %d/%d, rsync -t %d/%d, copier %d/%d (cpu ms median: %d, %d, %d)\n", n,
    mw["small_cp"], bw["small_cp"], mw["small_rsync"], bw["small_rsync"], mw["small_copier"], bw["small_copier"],
    mc["small_cp"], mc["small_rsync"], mc["small_copier"]
  printf "  real program (/mp SRC /sp DST /cm, listing included) / rsync -rt: %.2f median, %.2f best (goal below 0.8); program / cp: %.2f median, %.2f best\n",
    r(mw["small_copier"], mw["small_rsync"]), r(bw["small_copier"], bw["small_rsync"]),
    r(mw["small_copier"], mw["small_cp"]), r(bw["small_copier"], bw["small_cp"])
  printf "  engine driver alone (CopyBigFiles file by file, no listing, no window): wall %d ms median, cpu %d ms; / rsync -rt %.2f median\n",
    mw["small_engine"], mc["small_engine"], r(mw["small_engine"], mw["small_rsync"])
  printf "  floor of the copies alone (floor.c, the same system calls per file and nothing else): %d ms median = %.2f of rsync -rt; straight to the final name, without the temporary file and its rename: %d ms = %.2f\n",
    mw["small_floor"], r(mw["small_floor"], mw["small_rsync"]), mw["small_direct"], r(mw["small_direct"], mw["small_rsync"])
  if (mb > 0)
    printf "  engine driver, large file: %d ms median\n", mw["big_engine"]
}'
