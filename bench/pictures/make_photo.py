#!/usr/bin/env python3
"""Writes a synthetic continuous-tone photo as a binary PGM: soft gradients, a
lit sphere, rolling hills, fine texture and a little noise (fixed seed).

    make_photo.py WIDTH HEIGHT OUTPUT.pgm
"""
import math
import random
import sys

width, height, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
rng = random.Random(1234)
rows = []
cx, cy, r = width * 0.62, height * 0.28, min(width, height) * 0.18
for y in range(height):
    row = bytearray(width)
    fy = y / height
    for x in range(width):
        fx = x / width
        v = 60 + 170 * fy  # sky, darker at the top
        d = math.hypot(x - cx, y - cy)
        if d < r:  # a sphere lit from the upper left
            nz = math.sqrt(max(0.0, 1 - (d / r) ** 2))
            lx = (x - cx) / r
            ly = (y - cy) / r
            v = 30 + 220 * max(0.0, -0.5 * lx - 0.5 * ly + 0.7 * nz)
        ridge = height * (0.62 + 0.05 * math.sin(fx * 9.0) + 0.03 * math.sin(fx * 23.0 + 1))
        if y > ridge:  # hills with a fine wavy texture
            v = 90 - 60 * (y - ridge) / (height - ridge + 1) + 25 * math.sin(x * 0.21) * math.sin(y * 0.17)
        v += rng.gauss(0, 6)
        row[x] = max(0, min(255, int(v)))
    rows.append(bytes(row))
with open(path, "wb") as out:
    out.write(b"P5\n%d %d\n255\n" % (width, height))
    out.writelines(rows)
