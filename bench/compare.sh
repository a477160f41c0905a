#!/usr/bin/env bash
# Whole-process comparison of rastertozorvan with the floor (bench/raster_floor:
# reading the same raster and nothing else) and with CUPS's own label filter
# (rastertolabel with the Zebra ZPL and CPCL PPDs that ppdc builds from CUPS's
# sample driver source, fed a 1-bit raster of the same picture).
#
#   bash bench/compare.sh [RUNS]        (default 10 timed runs per command)
#
# Builds what it needs into build/, makes the pictures with ghostscript (and a
# synthetic photo), and prints one table. Scratch files go to $BENCH_DIR
# (default build/compare). Not run in CI: it takes a few minutes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-10}"
work="${BENCH_DIR:-$root/build/compare}"
build="$root/build"
peer_filter=/usr/lib/cups/filter/rastertolabel
peer_drv=/usr/share/cups/drv/sample.drv

for tool in gs ppdc hyperfine /usr/bin/time python3 "$peer_filter"; do
  command -v "$tool" >/dev/null || { echo "compare: $tool is missing (bash scripts/deps installs it)" >&2; exit 1; }
done
[ -f "$peer_drv" ] || { echo "compare: $peer_drv is missing (package cups-ppdc / cups)" >&2; exit 1; }

cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target rastertozorvan zvmkraster raster_floor >/dev/null
mkdir -p "$work/ppd" "$work/peer" "$work/out" "$work/logs"
rm -f "$work"/out/* "$work"/logs/*

# --- pictures and rasters ----------------------------------------------------
# name  source  pages
cases=(
  "text   text_label.ps  20"
  "photo  photo          20"
  "long   long_label.ps  5"
  "receipt receipt.ps    1"
)
gsopts=(-q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pgmraw -r203 -dGraphicsAlphaBits=4 -dTextAlphaBits=4)
for c in "${cases[@]}"; do
  read -r name source pages <<<"$c"
  pgm="$work/$name.pgm"
  if [ ! -s "$pgm" ]; then
    if [ "$source" = photo ]; then
      python3 "$root/bench/pictures/make_photo.py" 812 1218 "$pgm"
    else
      gs "${gsopts[@]}" -sOutputFile="$pgm" "$root/bench/pictures/$source"
    fi
  fi
  "$build/tools/zvmkraster" --pages "$pages" "$pgm" "$work/$name.gray.ras" 203
  "$build/tools/zvmkraster" --mono --pages "$pages" "$pgm" "$work/$name.mono.ras" 203
done

# --- PPDs -----------------------------------------------------------------------
ppd() {  # name model compressed
  cat >"$work/ppd/$1.ppd" <<EOF
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "ZVBENCH.PPD"
*Manufacturer: "Zorvan"
*Product: "(Bench)"
*ModelName: "Zorvan $2"
*ShortNickName: "Zorvan $2"
*NickName: "Zorvan $2 203dpi"
*PSVersion: "(3010.000) 0"
*cupsVersion: 2.4
*cupsFilter2: "application/vnd.cups-raster application/vnd.cups-raster 0 rastertozorvan"
*ZVAttr PrinterModel: "$2"
*ZVAttr CompressiePrint: "$3"
*DefaultResolution: 203dpi
*DefaultDarkness: 8
*DefaultPrintSpeed: 4
*DefaultMediaTracking: 1
*DefaultPrintMode: 0
*DefaultMaxWidthMM: 108
EOF
}
ppd tspl TSPL 0
ppd tsplz TSPL 1
ppd zplhex ZPL 0
ppd zplz64 ZPL 1
ppd cpcl CPCL 0
ppd escpos ESC 0
[ -s "$work/peer/zebra.ppd" ] || ppdc -d "$work/peer" "$peer_drv" >/dev/null 2>&1

# --- commands -------------------------------------------------------------------
# Every command reads the raster file named by its last word; printer data goes
# to $work/out/<label>, so the same command measures time and bytes.
ours=(tspl tsplz zplhex zplz64 cpcl escpos)
modes=(0 2 8)
commands_for() {  # case -> lines "label<TAB>command"
  local name="$1" gray="$work/$1.gray.ras" mono="$work/$1.mono.ras"
  printf 'floor\t%q %q\n' "$build/bench/raster_floor" "$gray"
  printf 'peer-zpl\tPPD=%q %q 1 bench %s 1 "" %q > %q 2>/dev/null\n' \
    "$work/peer/zebra.ppd" "$peer_filter" "$name" "$mono" "$work/out/$name.peer-zpl"
  printf 'peer-cpcl\tPPD=%q %q 1 bench %s 1 "" %q > %q 2>/dev/null\n' \
    "$work/peer/zebracpl.ppd" "$peer_filter" "$name" "$mono" "$work/out/$name.peer-cpcl"
  for lang in "${ours[@]}"; do
    for mode in "${modes[@]}"; do
      printf '%s-m%s\tPPD=%q ZORVAN_LOG_DIR=%q %q 1 bench %s 1 PrintMode=%s %q > %q 2>/dev/null\n' \
        "$lang" "$mode" "$work/ppd/$lang.ppd" "$work/logs" "$build/rastertozorvan" "$name" "$mode" "$gray" \
        "$work/out/$name.$lang-m$mode"
    done
  done
}

results="$work/results.tsv"
: >"$results"
for c in "${cases[@]}"; do
  read -r name source pages <<<"$c"
  mapfile -t lines < <(commands_for "$name")
  args=()
  for line in "${lines[@]}"; do args+=(-n "${line%%$'\t'*}" "${line#*$'\t'}"); done
  echo "compare: $name ($pages pages), ${#lines[@]} commands x $runs runs" >&2
  hyperfine --style none --warmup 1 --runs "$runs" --export-json "$work/$name.json" "${args[@]}" >/dev/null
  for line in "${lines[@]}"; do
    label="${line%%$'\t'*}"
    peak=$( { /usr/bin/time -f '%M' bash -c "${line#*$'\t'}" ; } 2>&1 >/dev/null | tail -1)
    bytes=0
    [ -f "$work/out/$name.$label" ] && bytes=$(stat -c %s "$work/out/$name.$label")
    printf '%s\t%s\t%s\t%s\t%s\n' "$name" "$pages" "$label" "$peak" "$bytes" >>"$results"
  done
done

python3 "$root/bench/compare_table.py" "$work" "$results"
