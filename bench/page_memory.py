#!/usr/bin/env python3
"""Peak memory of whole filter runs against page size, per printer language and print mode.

    python3 bench/page_memory.py [--build DIR] [--heights 2000,8000,32000] [--quick]

Each case runs the built rastertozorvan once per page height on a one-page job
(864 dots wide, 108 mm at 203 dpi) and reads the child's peak resident size
from the kernel (getrusage of the reaped child, ru_maxrss). The table gives
the peak in MiB per height, the growth in bytes per page pixel between the
smallest and the largest height, and the smallest ratio of the filter's own
estimate of the page (read from its refusal under a 16 MiB budget) to the
measured peak: the job budget (ZORVAN_MEMORY_BUDGET) is only safe while that
ratio stays above 1. Pages are a mix of photo (noise and
gradients), text bars and blank bands, so every pipeline stage has work.
Needs the targets rastertozorvan, zvmkraster and ppds; scratch files go to
$BENCH_DIR (default DIR/page-memory). Not run in CI.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import time

WIDTH = 864

# (label, PPD file, colour of the raster, job options)
CASES = [
    ("TSPL mode 0", "zorvan-tspl-203.ppd", "gray", "PrintMode=0"),
    ("TSPL mode 4", "zorvan-tspl-203.ppd", "gray", "PrintMode=4"),
    ("TSPL mode 6", "zorvan-tspl-203.ppd", "gray", "PrintMode=6"),
    ("TSPL mode 7", "zorvan-tspl-203.ppd", "gray", "PrintMode=7"),
    ("TSPL mode 8", "zorvan-tspl-203.ppd", "gray", "PrintMode=8"),
    ("ZPL mode 0", "zorvan-zpl-203.ppd", "gray", "PrintMode=0"),
    ("ZPL mode 7", "zorvan-zpl-203.ppd", "gray", "PrintMode=7"),
    ("CPCL mode 0", "zorvan-cpcl-203.ppd", "gray", "PrintMode=0"),
    ("CPCL mode 7", "zorvan-cpcl-203.ppd", "gray", "PrintMode=7"),
    ("ESC/POS mode 0", "zorvan-escpos-80.ppd", "gray", "PrintMode=0"),
    ("ESC/POS mode 7", "zorvan-escpos-80.ppd", "gray", "PrintMode=7"),
    ("SF ZPL mode 0", "zorvan-sfzpl-203.ppd", "gray", "PrintMode=0"),
    ("SF ZPL mode 7", "zorvan-sfzpl-203.ppd", "gray", "PrintMode=7"),
    ("two-colour RGBA mode 0", "zorvan-tspl2c-203.ppd", "rgba", "PrintMode=0"),
    ("two-colour RGBA mode 7", "zorvan-tspl2c-203.ppd", "rgba", "PrintMode=7"),
    ("two-colour RGBA mode 8", "zorvan-tspl2c-203.ppd", "rgba", "PrintMode=8"),
    ("two-colour gray mode 0", "zorvan-tspl2c-203.ppd", "gray", "PrintMode=0"),
    ("two-colour gray mode 8", "zorvan-tspl2c-203.ppd", "gray", "PrintMode=8"),
    ("L40 mode 0", "zorvan-l40.ppd", "gray", "PrintMode=0"),
    ("L40 mode 9", "zorvan-l40.ppd", "gray", "PrintMode=9"),
    ("L40A mode 9", "zorvan-l40a.ppd", "gray", "PrintMode=9"),
    ("LP40 mode 9", "zorvan-lp40.ppd", "gray", "PrintMode=9"),
    ("L40S mode 11", "zorvan-l40s.ppd", "gray", "PrintMode=11"),
    ("M10 mode 11", "zorvan-m10.ppd", "gray", "PrintMode=11"),
    ("L40S Processing 2", "zorvan-l40s.ppd", "gray", "PrintMode=9 Processing=2"),
    ("L40S Processing 3", "zorvan-l40s.ppd", "gray", "PrintMode=9 Processing=3"),
    ("L40S Processing 4", "zorvan-l40s.ppd", "gray", "PrintMode=9 Processing=4"),
    ("L40S Processing 5", "zorvan-l40s.ppd", "gray", "PrintMode=9 Processing=5"),
    ("L40S Processing 6", "zorvan-l40s.ppd", "gray", "PrintMode=9 Processing=6"),
    ("L40S Processing 7", "zorvan-l40s.ppd", "gray", "PrintMode=9 Processing=7"),
    ("L40S PhotoEffect 5", "zorvan-l40s.ppd", "gray", "PrintMode=9 PhotoEffect=5"),
]
QUICK = {"TSPL mode 0", "TSPL mode 8", "two-colour RGBA mode 8", "two-colour gray mode 8", "L40 mode 9",
         "L40S Processing 5"}


def write_picture(path, height, channels):
    """A binary PGM/PPM: bands of gradient, text bars, noise and white."""
    rnd = random.Random(1)
    gradient = bytes((x * 255) // (WIDTH - 1) for x in range(WIDTH))
    bars = bytes(0 if (x // 6) % 2 else 255 for x in range(WIDTH))
    noise = bytes(rnd.getrandbits(8) for _ in range(WIDTH))
    white = b"\xff" * WIDTH
    rows = [gradient, bars, noise, white]
    if channels == 3:
        rows = [bytes(v for p in r for v in (p, (p * 7) & 255, 255 - p)) for r in rows]
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n255\n" % (b"P6" if channels == 3 else b"P5", WIDTH, height))
        for y in range(height):
            f.write(rows[(y // 40) % 4])


def peak_run(filter_path, ppd, raster, options, logs):
    env = dict(os.environ, PPD=ppd, ZORVAN_LOG_DIR=logs, ZORVAN_MEMORY_BUDGET="65536")
    with open(raster, "rb") as stdin, open(os.devnull, "wb") as devnull, open(os.path.join(logs, "err"), "wb") as err:
        start = time.monotonic()
        child = subprocess.Popen([filter_path, "1", "bench", "page", "1", options], stdin=stdin, stdout=devnull,
                                 stderr=err, env=env)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("page_memory: %s %s exited with %d (see %s/err)" % (ppd, options, status, logs))
    return usage.ru_maxrss * 1024, seconds


def estimate_run(filter_path, ppd, raster, options, logs):
    """The filter's own estimate of the page, from the refusal under the smallest budget."""
    env = dict(os.environ, PPD=ppd, ZORVAN_LOG_DIR=logs, ZORVAN_MEMORY_BUDGET="16")
    with open(raster, "rb") as stdin:
        run = subprocess.run([filter_path, "1", "bench", "page", "1", options], stdin=stdin,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    match = re.search(rb"would need about (\d+) MiB", run.stderr)
    return int(match.group(1)) * 2**20 if match else 0


def main():
    parser = argparse.ArgumentParser()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--build", default=os.path.join(root, "build"))
    parser.add_argument("--heights", default="2000,8000,32000")
    parser.add_argument("--quick", action="store_true", help="only a few cases")
    args = parser.parse_args()
    heights = [int(h) for h in args.heights.split(",")]
    work = os.environ.get("BENCH_DIR", os.path.join(args.build, "page-memory"))
    logs = os.path.join(work, "logs")
    os.makedirs(logs, exist_ok=True)
    filter_path = os.path.join(args.build, "rastertozorvan")
    mkraster = os.path.join(args.build, "tools", "zvmkraster")

    rasters = {}
    for colour in ("gray", "rgba"):
        for h in heights:
            pnm = os.path.join(work, "page-%d.%s" % (h, "ppm" if colour == "rgba" else "pgm"))
            ras = os.path.join(work, "page-%s-%d.ras" % (colour, h))
            if not os.path.exists(ras):
                write_picture(pnm, h, 3 if colour == "rgba" else 1)
                subprocess.check_call([mkraster] + (["--rgba"] if colour == "rgba" else []) + [pnm, ras, "203"])
                os.remove(pnm)
            rasters[colour, h] = ras

    print("peak resident memory (MiB) of one %d-dot-wide page, by page height in rows" % WIDTH)
    print("%-26s %s %12s %8s %10s" % ("case", " ".join("%9d" % h for h in heights), "bytes/pixel", "s (max)",
                                       "estimate/peak (min)"))
    for label, ppd, colour, options in CASES:
        if args.quick and label not in QUICK:
            continue
        peaks = []
        slowest = 0.0
        margin = None
        for h in heights:
            ppd_path = os.path.join(args.build, "ppd", ppd)
            peak, seconds = peak_run(filter_path, ppd_path, rasters[colour, h], options, logs)
            peaks.append(peak)
            slowest = max(slowest, seconds)
            ratio = estimate_run(filter_path, ppd_path, rasters[colour, h], options, logs) / peak
            margin = ratio if margin is None else min(margin, ratio)
        growth = (peaks[-1] - peaks[0]) / (WIDTH * (heights[-1] - heights[0])) if len(heights) > 1 else 0.0
        print("%-26s %s %12.2f %8.2f %10.2f" % (label, " ".join("%9.1f" % (p / 2**20) for p in peaks), growth, slowest,
                                                 margin))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
