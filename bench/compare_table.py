#!/usr/bin/env python3
"""Prints the table of bench/compare.sh from hyperfine's JSON files and the
peak-memory / byte-count list the script gathered.

    compare_table.py WORK_DIR RESULTS_TSV
"""
import json
import os
import sys

work, results_path = sys.argv[1], sys.argv[2]


def pgm_size(path):
    with open(path, "rb") as f:
        tokens = []
        while len(tokens) < 3:
            line = f.readline()
            if line.startswith(b"#"):
                continue
            tokens += line.split()
    return int(tokens[1]), int(tokens[2])


rows = {}
order = []
for line in open(results_path):
    name, pages, label, peak_kb, size = line.rstrip("\n").split("\t")
    if name not in rows:
        rows[name] = {}
        order.append(name)
    rows[name][label] = {"pages": int(pages), "peak_kb": int(peak_kb or 0), "bytes": int(size)}

misses = []
print("Wall time: fastest and mean of the timed runs; /floor and /peer are ratios of the fastest runs (the ones least")
print("disturbed by other load on the machine), cpu is user + system time (mean). The peer is")
print("rastertolabel ZPL for every language but CPCL, which is compared with rastertolabel CPCL. Bytes are")
print("printer bytes per page; peak is the maximum resident set. Goals: ours/floor <= 1.5 (print modes 0-4),")
print("ZPL Z64 bytes <= 0.5 x peer on text labels, peak <= 3 x page buffer + 10 MB.")
for name in order:
    timing = {r["command"]: r for r in json.load(open(os.path.join(work, name + ".json")))["results"]}
    width, height = pgm_size(os.path.join(work, name + ".pgm"))
    page_buffer = (width + 7) // 8 * 8 * height
    mem_goal_kb = (3 * page_buffer + 10 * 1024 * 1024) // 1024
    def best(label):
        return min(timing[label]["times"])

    def cpu(label):
        return timing[label]["user"] + timing[label]["system"]

    floor = best("floor")
    pages = rows[name]["floor"]["pages"]
    print()
    print(f"== {name}: {pages} page(s) of {width} x {height} dots; page buffer {page_buffer / 1048576:.2f} MiB, "
          f"memory goal {mem_goal_kb / 1024:.1f} MiB")
    print(f"{'command':<12} {'min ms':>8} {'mean ms':>8} {'/floor':>7} {'/peer':>6} {'cpu ms':>7} {'cpu/fl':>6} {'peak MiB':>9} "
          f"{'bytes/page':>11} {'/peer':>6}  notes")
    for label, info in rows[name].items():
        t = timing[label]
        peer_label = "peer-cpcl" if label.startswith("cpcl") else "peer-zpl"
        peer_t = best(peer_label)
        per_page = info["bytes"] / info["pages"]
        peer_bytes = rows[name][peer_label]["bytes"] / info["pages"]
        notes = []
        ours = not label.startswith(("floor", "peer"))
        if ours:
            mode = int(label.rsplit("-m", 1)[1])
            if mode <= 4 and best(label) / floor > 1.5:
                notes.append("MISS time")
            if info["peak_kb"] > mem_goal_kb:
                notes.append("MISS memory")
            if label.startswith("zplz64") and name == "text" and per_page > 0.5 * peer_bytes:
                notes.append("MISS bytes")
            if mode == 8:
                notes.append("mode 8 pipeline")
            for n in notes:
                if n.startswith("MISS"):
                    misses.append(f"{name} {label}: {n}")
        ratio_peer = f"{best(label) / peer_t:6.2f}" if ours or label == "floor" else "     -"
        bytes_ratio = f"{per_page / peer_bytes:6.3f}" if ours and peer_bytes > 0 else "     -"
        print(f"{label:<12} {best(label) * 1000:8.1f} {t['mean'] * 1000:8.1f} "
              f"{best(label) / floor:7.2f} {ratio_peer} {cpu(label) * 1000:7.1f} {cpu(label) / cpu('floor'):6.2f} "
              f"{info['peak_kb'] / 1024:9.1f} {per_page:11.0f} {bytes_ratio}  "
              + ", ".join(notes))
print()
print("Goals missed: " + ("none" if not misses else "; ".join(misses)))
