#!/usr/bin/env bash
# Times a full headless listing of the program (bench/listing's driver: scan of both trees,
# comparison, orphan search, rows) against `rsync -rn --delete -i` on the same two trees, in
# the same run, with a warm page cache (each tool runs once before the timed rounds). Prints
# the median wall-clock times, their ratio and the peak memory of both.
#
# The trees: FILES files (default 100,000) in FOLDERS folders (default 10,000) on the source;
# the target is a copy with about 2% of the files missing (new on the source), 2% older and
# 2% newer than the source, 1% of another length with the same time, and 2% extra files
# (orphans), some of them in extra folders. The trees live under BENCH_TMP (default /tmp)
# and are deleted at the end; with KEEP_TREES=DIR they are made in DIR once and reused.
#
# Usage: bash bench/listing/run.sh [build-dir]       (default build dir: build-bench)
#        ROUNDS=5 FILES=100000 FOLDERS=10000 bash bench/listing/run.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build-bench}
rounds=${ROUNDS:-5}
files=${FILES:-100000}
folders=${FOLDERS:-10000}

command -v rsync >/dev/null || apt-get install -y rsync >/dev/null
[ -x /usr/bin/time ] || apt-get install -y time >/dev/null
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target qm_bench_listing >/dev/null
driver=$(find "$build" -name qm_bench_listing -type f -perm -u+x | head -1)

if [[ -n "${KEEP_TREES:-}" ]]; then
  work=$KEEP_TREES
  mkdir -p "$work"
else
  work=$(mktemp -d "${BENCH_TMP:-/tmp}/qm_bench_listing.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi

if [[ -d "$work/src" && -d "$work/dst" ]]; then
  echo "reusing the trees in $work"
else
echo "preparing: $files files in $folders folders, and the target ..."
python3 - "$work/src" "$work/dst" "$files" "$folders" <<'PY'
import os, random, shutil, subprocess, sys
src, dst, nfiles, nfolders = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
rnd = random.Random(4711)
top = max(1, int(round(nfolders ** 0.5)))
leaves = []
for i in range(nfolders):
    leaves.append(os.path.join("d%03d" % (i % top), "e%04d" % i))
paths = []
base = 1700000000
for i in range(nfiles):
    rel = os.path.join(leaves[i % nfolders], "f%06d.dat" % i)
    full = os.path.join(src, rel)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(b"x" * rnd.randint(0, 2048))
    t = base - rnd.randint(0, 10**7)
    os.utime(full, (t, t))
    paths.append(rel)
subprocess.run(["cp", "-a", src, dst], check=True)
sample = rnd.sample(paths, int(nfiles * 0.07))
n2, n1 = int(nfiles * 0.02), int(nfiles * 0.01)
new, older, newer, longer = sample[:n2], sample[n2:2*n2], sample[2*n2:3*n2], sample[3*n2:3*n2+n1]
for rel in new:
    os.remove(os.path.join(dst, rel))
for rel, shift in [(r, -3600) for r in older] + [(r, 3600) for r in newer]:
    p = os.path.join(dst, rel); st = os.stat(p)
    os.utime(p, ns=(st.st_atime_ns, st.st_mtime_ns + shift * 10**9))
for rel in longer:
    p = os.path.join(dst, rel); st = os.stat(p)
    with open(p, "ab") as f:
        f.write(b"+")
    os.utime(p, ns=(st.st_atime_ns, st.st_mtime_ns))
orphans = int(nfiles * 0.02)
for i in range(orphans):
    if i < orphans // 10:
        d = os.path.join(dst, "orphan%03d" % (i % 20))
    else:
        d = os.path.join(dst, leaves[rnd.randrange(nfolders)])
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "o%06d.dat" % i), "wb") as f:
        f.write(b"o" * rnd.randint(0, 2048))
PY
sync
fi

now_ns() { date +%s%N; }
run_listing() { "$driver" "$work/src/" "$work/dst/"; }
run_rsync() { rsync -rn --delete -i "$work/src/" "$work/dst/" >/dev/null; }

echo "warming the page cache ..."
run_listing
run_rsync

declare -a tl tr
for ((r = 0; r < rounds; r++)); do
  a=$(now_ns); run_listing >/dev/null; b=$(now_ns); tl+=($(( (b - a) / 1000000 )))
  a=$(now_ns); run_rsync; b=$(now_ns); tr+=($(( (b - a) / 1000000 )))
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
ml=$(median "${tl[@]}")
mr=$(median "${tr[@]}")
peak_l=$( { /usr/bin/time -f '%M' "$driver" "$work/src/" "$work/dst/" >/dev/null; } 2>&1 | tail -1)
peak_r=$( { /usr/bin/time -f '%M' rsync -rn --delete -i "$work/src/" "$work/dst/" >/dev/null; } 2>&1 | tail -1)
echo "listing rounds (ms): ${tl[*]}"
echo "rsync   rounds (ms): ${tr[*]}"
echo "median listing ${ml} ms, rsync -rn --delete -i ${mr} ms"
awk -v l="$ml" -v r="$mr" 'BEGIN { printf "ratio listing/rsync = %.2f (below 1: the listing is faster)\n", l / r }'
echo "peak memory: listing ${peak_l} KiB, rsync ${peak_r} KiB (largest of its processes)"
