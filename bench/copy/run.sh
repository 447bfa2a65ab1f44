#!/usr/bin/env bash
# Times the copier (CopyBigFiles through bench/copy's driver) against `cp --preserve=timestamps`
# and `rsync -t` in the same run: one 2 GiB file, and 10,000 files of 0 to 16 KiB in 100
# folders. Every tool starts from the same state: no destination, all earlier writes synced,
# the source read once right before (warm in the page cache for all). Copy times exclude the
# final writeback, for all tools alike. Each measurement is the median of ROUNDS rounds, the
# tools taking turns within a round. The data lives under BENCH_TMP (default /tmp) and is
# deleted at the end.
#
# Usage: bash bench/copy/run.sh [build-dir]      (default build dir: build-bench)
#        ROUNDS=5 BIG_MB=2048 SMALL_FILES=10000 bash bench/copy/run.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build-bench}
rounds=${ROUNDS:-3}
big_mb=${BIG_MB:-2048}
small_files=${SMALL_FILES:-10000}

command -v rsync >/dev/null || apt-get install -y rsync >/dev/null
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target qm_bench_copy >/dev/null
driver=$(find "$build" -name qm_bench_copy -type f -perm -u+x | head -1)

work=$(mktemp -d "${BENCH_TMP:-/tmp}/qm_bench_copy.XXXXXX")
trap 'rm -rf "$work"' EXIT
need_kb=$(( (2 * big_mb + 600) * 1024 ))
free_kb=$(df -Pk "$work" | awk 'NR==2 {print $4}')
if (( free_kb < need_kb )); then
  echo "not enough disk under $work: need $need_kb KiB, have $free_kb KiB" >&2
  exit 1
fi

echo "preparing: one file of $big_mb MiB, $small_files small files ..."
head -c "$((big_mb * 1024 * 1024))" /dev/urandom > "$work/big.bin"
python3 - "$work/src" "$small_files" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(1234)
for i in range(count):
    d = os.path.join(root, "d%03d" % (i % 100))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "f%05d.bin" % i), "wb") as f:
        f.write(rnd.randbytes(rnd.randint(0, 16 * 1024)))
PY

warm_big() { cat "$work/big.bin" > /dev/null; }
warm_tree() { find "$work/src" -type f -print0 | xargs -0 cat > /dev/null; }
reset_dst() { rm -rf "$work/dst"; sync; }

# run WARM COMMAND... : prints "wall-ms cpu-ms" of the command (cpu: user + system of all its
# processes). On a busy machine wall time favours a tool that runs several processes at once,
# so both are shown.
run() {
  local warm=$1; shift
  reset_dst
  $warm
  local TIMEFORMAT='%R %U %S' out
  out=$( { time "$@" > /dev/null; } 2>&1 )
  sync
  echo "$out" | awk '{printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000}'
}
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
col() { local i=$1; shift; for x in "$@"; do echo "$x" | cut -d' ' -f"$i"; done; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -a big_cp big_rs big_qm small_cp small_rs small_qm
for ((r = 1; r <= rounds; r++)); do
  big_cp+=("$(run warm_big bash -c "mkdir -p '$work/dst' && cp --preserve=timestamps '$work/big.bin' '$work/dst/big.bin'")")
  big_rs+=("$(run warm_big bash -c "mkdir -p '$work/dst' && rsync -t '$work/big.bin' '$work/dst/big.bin'")")
  big_qm+=("$(run warm_big bash -c "mkdir -p '$work/dst' && '$driver' file '$work/big.bin' '$work/dst/big.bin'")")
  cmp "$work/big.bin" "$work/dst/big.bin"
  small_cp+=("$(run warm_tree cp -r --preserve=timestamps "$work/src" "$work/dst")")
  small_rs+=("$(run warm_tree rsync -rt "$work/src/" "$work/dst/")")
  small_qm+=("$(run warm_tree "$driver" tree "$work/src" "$work/dst")")
  diff -r "$work/src" "$work/dst"
  echo "round $r (wall cpu ms): big cp ${big_cp[-1]}, rsync ${big_rs[-1]}, copier ${big_qm[-1]};" \
       "small cp ${small_cp[-1]}, rsync ${small_rs[-1]}, copier ${small_qm[-1]}"
done
reset_dst
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

bc=$(median $(col 1 "${big_cp[@]}")); br=$(median $(col 1 "${big_rs[@]}")); bq=$(median $(col 1 "${big_qm[@]}"))
sc=$(median $(col 1 "${small_cp[@]}")); sr=$(median $(col 1 "${small_rs[@]}")); sq=$(median $(col 1 "${small_qm[@]}"))
bcc=$(median $(col 2 "${big_cp[@]}")); brc=$(median $(col 2 "${big_rs[@]}")); bqc=$(median $(col 2 "${big_qm[@]}"))
scc=$(median $(col 2 "${small_cp[@]}")); src=$(median $(col 2 "${small_rs[@]}")); sqc=$(median $(col 2 "${small_qm[@]}"))
awk -v bc="$bc" -v br="$br" -v bq="$bq" -v sc="$sc" -v sr="$sr" -v sq="$sq" \
    -v bcc="$bcc" -v brc="$brc" -v bqc="$bqc" -v scc="$scc" -v src="$src" -v sqc="$sqc" \
    -v mb="$big_mb" -v n="$small_files" 'function r(a, b) { return b > 0 ? a / b : 0 }
BEGIN {
  printf "large file (%d MiB), median wall ms: cp %d, rsync -t %d, copier %d (cpu ms: %d, %d, %d)\n", mb, bc, br, bq, bcc, brc, bqc
  printf "  copier throughput / cp: %.2f (target >= 0.75); / rsync -t: %.2f\n", r(bc, bq), r(br, bq)
  printf "%d small files, median wall ms: cp %d, rsync -t %d, copier %d (cpu ms: %d, %d, %d)\n", n, sc, sr, sq, scc, src, sqc
  printf "  rsync -t time / copier time: %.2f (target >= 1.00), by cpu %.2f; cp time / copier time: %.2f\n", r(sr, sq), r(src, sqc), r(sc, sq)
}'
