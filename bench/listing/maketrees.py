#!/usr/bin/env python3
"""Makes a source tree and its target for the listing bench: FILES files in FOLDERS folders on
the source; the target is a copy with about 2% of the files missing (new on the source), 2%
older and 2% newer than the source, 1% of another length with the same time, and 2% extra
files (orphans), some of them in extra folders. Same seed, same trees.

Usage: maketrees.py SRC DST FILES FOLDERS
"""
import os, random, shutil, sys
src, dst, nfiles, nfolders = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
rnd = random.Random(4711)
top = max(1, int(round(nfolders ** 0.5)))
leaves = [os.path.join("d%03d" % (i % top), "e%05d" % i) for i in range(nfolders)]
for leaf in leaves:
    os.makedirs(os.path.join(src, leaf), exist_ok=True)
    os.makedirs(os.path.join(dst, leaf), exist_ok=True)
base = 1700000000
paths = []
blob = b"x" * 2048
for i in range(nfiles):
    rel = os.path.join(leaves[i % nfolders], "f%07d.dat" % i)
    size = rnd.randint(0, 2048)
    t = base - rnd.randint(0, 10**7)
    for root in (src, dst):
        full = os.path.join(root, rel)
        with open(full, "wb") as f:
            f.write(blob[:size])
        os.utime(full, (t, t))
    paths.append(rel)
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
    with open(os.path.join(d, "o%07d.dat" % i), "wb") as f:
        f.write(b"o" * rnd.randint(0, 2048))
