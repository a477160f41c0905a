#!/usr/bin/env python3
"""Writes the bundled sample photo (samples/photo.png): a colour still life with
a sky, a lit ball, a flower, hills and a little grain, drawn from a fixed seed
so that the file is the same on every run.

    make_photo.py WIDTH HEIGHT OUTPUT.png
"""
import math
import random
import struct
import sys
import zlib


def png(path, width, height, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def clamp(v):
    return max(0, min(255, int(v)))


def main():
    width, height, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    rng = random.Random(20)
    bx, by, br = width * 0.70, height * 0.30, min(width, height) * 0.17  # ball
    fx, fy, fr = width * 0.28, height * 0.52, min(width, height) * 0.16  # flower
    rows = []
    for y in range(height):
        row = bytearray()
        t = y / height
        for x in range(width):
            s = x / width
            # Sky: deep blue at the top to pale near the horizon.
            r, g, b = 70 + 150 * t, 120 + 110 * t, 200 + 40 * t
            d = math.hypot(x - bx, y - by)
            if d < br:  # an orange ball lit from the upper left
                nz = math.sqrt(max(0.0, 1 - (d / br) ** 2))
                light = max(0.0, -0.5 * (x - bx) / br - 0.5 * (y - by) / br + 0.7 * nz)
                r, g, b = 40 + 215 * light, 20 + 120 * light, 10 + 30 * light
            ridge = height * (0.66 + 0.05 * math.sin(s * 8.0) + 0.02 * math.sin(s * 21.0 + 1))
            if y > ridge:  # green hills with a wavy texture
                k = (y - ridge) / (height - ridge + 1)
                w = 18 * math.sin(x * 0.25) * math.sin(y * 0.19)
                r, g, b = 50 - 30 * k + w, 140 - 70 * k + w, 40 - 20 * k + w
            # A flower: five petals round a yellow centre, on a dark stem.
            if abs(x - fx) < 2.5 and fy < y < ridge + 10:
                r, g, b = 30, 80, 30
            dx, dy = x - fx, y - fy
            rho, phi = math.hypot(dx, dy), math.atan2(dy, dx)
            petal = fr * (0.55 + 0.45 * abs(math.cos(2.5 * phi)))
            if rho < petal:
                shade = 0.6 + 0.4 * (1 - rho / petal)
                r, g, b = 230 * shade, 60 * shade, 120 * shade
            if rho < fr * 0.22:
                r, g, b = 250, 210 - 2 * rho, 40
            n = rng.gauss(0, 1.5)
            row += bytes((clamp(r + n), clamp(g + n), clamp(b + n)))
        rows.append(row)
    png(path, width, height, rows)


main()
