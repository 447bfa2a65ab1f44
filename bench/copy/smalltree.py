#!/usr/bin/env python3
# Makes the benches' tree of small files: COUNT files of 0 to 16 KiB of random bytes, spread
# over 100 folders, the same tree on every run (a fixed seed).
# Usage: python3 bench/copy/smalltree.py ROOT COUNT
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(1234)
for i in range(count):
    d = os.path.join(root, "d%03d" % (i % 100))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "f%05d.bin" % i), "wb") as f:
        f.write(rnd.randbytes(rnd.randint(0, 16 * 1024)))
