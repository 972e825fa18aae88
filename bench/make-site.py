#!/usr/bin/env python3
"""Writes a benchmark web site: by default 300 directories (30 at the top, 9 below each) and 5,000
files of random bytes, 100 B to 200 KiB each, from a fixed seed. DIRS is a multiple of 10 (a tenth
at the top, 9 below each). The files are dated a day back: a file written just before a sync is
sent again by the next one (it may have changed while it was read), so a fresh site would make the
first resync upload everything again.
usage: make-site.py DIR [FILES DIRS]      e.g. make-site.py small 200 20"""
import os
import random
import sys
import time

top = sys.argv[1]
files = int(sys.argv[2]) if len(sys.argv) > 2 else 5000
tops = int(sys.argv[3]) // 10 if len(sys.argv) > 3 else 30
rng = random.Random(20261207)
dirs = []
for t in range(tops):
    d = f"d{t:02}"
    dirs.append(d)
    for s in range(9):
        dirs.append(f"{d}/s{s}")
for d in dirs:
    os.makedirs(os.path.join(top, d), exist_ok=True)
for i in range(files):
    size = rng.randint(100, 200 * 1024)
    with open(os.path.join(top, dirs[i % len(dirs)], f"f{i:04}.dat"), "wb") as f:
        f.write(rng.randbytes(size))
    os.utime(f.name, (time.time() - 86400, time.time() - 86400))
