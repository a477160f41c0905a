#!/usr/bin/env bash
# Whole-chain cost of supersampled rendering: a 4 x 6 in text-and-barcode
# label (bench/pictures/text_label.ps as a PDF) printed with cupsfilter
# through cups-filters into the built filter, with the shipped PPDs at
# Rendering 1 (native), 2 (the default) and 3; and the printer bytes of the
# ZPL label against CUPS's own rastertolabel (Zebra ZPL PPD from CUPS's
# sample.drv) through the same chain.
#
#   bash bench/rendering_chain.sh [RUNS]     (default 10 timed runs each)
#
# Prints, per printer and choice: fastest and mean wall time of the whole
# chain (hyperfine) and its ratio to native rendering, the CPU time of the
# whole chain (user + system, every process) and its ratio, the filter's
# peak resident memory and the bytes sent. A private ServerBin holds links to the system's
# filters and a wrapper for ours: nothing is installed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-10}"
build="$root/build"
work="${BENCH_DIR:-$build/rendering-chain}"
for tool in gs ppdc hyperfine cupsfilter /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "rendering_chain: $tool is missing (bash scripts/deps)" >&2; exit 1; }
done
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target rastertozorvan ppds >/dev/null

rm -rf "$work" && mkdir -p "$work/serverbin/filter" "$work/peer" "$work/logs"
serverbin="$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)"
for f in "$serverbin"/filter/*; do
  [ "$(basename "$f")" = rastertozorvan ] || ln -s "$f" "$work/serverbin/filter/$(basename "$f")"
done
cat >"$work/serverbin/filter/rastertozorvan" <<WRAP
#!/bin/sh
ZORVAN_LOG_DIR="$work/logs" exec /usr/bin/time -a -f %M -o "$work/logs/rss" "$build/rastertozorvan" "\$@"
WRAP
chmod 755 "$work/serverbin/filter/rastertozorvan"
printf 'ServerBin %s\nDataDir %s\n' "$work/serverbin" "$(cups-config --datadir 2>/dev/null || echo /usr/share/cups)" \
  >"$work/cups-files.conf"

pdf="$work/label.pdf"
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=288 -dDEVICEHEIGHTPOINTS=432 -dFIXEDMEDIA \
  -o "$pdf" "$root/bench/pictures/text_label.ps"
ppdc -d "$work/peer" /usr/share/cups/drv/sample.drv >/dev/null 2>&1
peer_ppd="$(grep -l 'ZPL' "$work"/peer/*.ppd | xargs grep -l '203dpi' | head -1)"

chain() {  # ppd options... -> the command line
  local ppd="$1"
  shift
  local cmd="cupsfilter -c $work/cups-files.conf -p $ppd -m printer/x -e"
  for o in "$@"; do cmd+=" -o $o"; done
  echo "$cmd $pdf"
}

printf '%-18s %-12s %9s %9s %7s %9s %7s %9s %9s\n' printer choice fastest mean ratio cpu cpu_x rss_MiB bytes
for name in zorvan-tspl-203 zorvan-zpl-203 zorvan-tspl-300; do
  ppd="$build/ppd/$name.ppd"
  native_mean=""
  for r in 1 2 3; do
    : >"$work/logs/rss"
    cmd="$(chain "$ppd" PageSize=4x6 Rendering=$r)"
    hyperfine -N -w 2 -r "$runs" --export-json "$work/h.json" "$cmd" >/dev/null 2>&1
    read -r fastest mean cpu < <(python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print(min(r["times"]), r["mean"], r["user"] + r["system"])' "$work/h.json")
    [ -n "$native_mean" ] || { native_mean="$mean"; native_cpu="$cpu"; }
    bytes=$($cmd 2>/dev/null | wc -c)
    rss=$(sort -n "$work/logs/rss" | tail -1)
    printf '%-18s %-12s %8.3fs %8.3fs %6.2fx %8.3fs %6.2fx %9.1f %9d\n' "$name" "Rendering=$r" "$fastest" "$mean" \
      "$(python3 -c "print($mean/$native_mean)")" "$cpu" "$(python3 -c "print($cpu/$native_cpu)")" \
      "$(python3 -c "print($rss/1024)")" "$bytes"
  done
done
if [ -n "$peer_ppd" ]; then
  peer_bytes=$(cupsfilter -p "$peer_ppd" -m printer/zebra -e -o PageSize=w288h432 "$pdf" 2>/dev/null | wc -c)
  ours=$($(chain "$build/ppd/zorvan-zpl-203.ppd" PageSize=4x6) 2>/dev/null | wc -c)
  ours_plain=$($(chain "$build/ppd/zorvan-zpl-203.ppd" PageSize=4x6 Compression=0) 2>/dev/null | wc -c)
  printf '\nZPL 203 dpi 4 x 6 in text label: rastertolabel (%s) %d bytes; ours at the defaults %d (%.2fx), Compression=0 %d (%.2fx)\n' \
    "$(basename "$peer_ppd")" "$peer_bytes" "$ours" "$(python3 -c "print($ours/$peer_bytes)")" "$ours_plain" \
    "$(python3 -c "print($ours_plain/$peer_bytes)")"
fi
