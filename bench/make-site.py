#!/usr/bin/env python3
"""Writes the benchmark web site: 300 directories (30 at the top, 9 below each) and 5,000 files of
random bytes, 100 B to 200 KiB each, from a fixed seed. usage: make-site.py DIR"""
import os
import random
import sys

top = sys.argv[1]
rng = random.Random(20261207)
dirs = []
for t in range(30):
    d = f"d{t:02}"
    dirs.append(d)
    for s in range(9):
        dirs.append(f"{d}/s{s}")
for d in dirs:
    os.makedirs(os.path.join(top, d), exist_ok=True)
for i in range(5000):
    size = rng.randint(100, 200 * 1024)
    with open(os.path.join(top, dirs[i % len(dirs)], f"f{i:04}.dat"), "wb") as f:
        f.write(rng.randbytes(size))
