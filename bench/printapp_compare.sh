#!/usr/bin/env bash
# The printer application against the filter on the same page: a 4 x 6 in
# label at 203 dpi (samples/label.pdf as PWG raster, made by ghostscript's
# pwgraster device), printed to a ZPL and a TSPL printer.
#
#   filter: rastertozorvan with the printer's PPD, the raster on standard input;
#   app:    one Print-Job to zvprintapp on a loopback port with a file device;
#           PAPPL prints a streamed raster while it receives it and answers
#           once the job has ended, so the request's time runs from the
#           submission to the last byte on the device.
#
#   bash bench/printapp_compare.sh [RUNS]      (default 20 timed runs each)
#
# Goal: the application within 1.2 x the filter's time. Scratch files go to
# $BENCH_DIR (default build/printapp-compare). Not run in CI.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-20}"
build="$root/build"
work="${BENCH_DIR:-$build/printapp-compare}"
for tool in gs hyperfine ipptool; do
  command -v "$tool" >/dev/null || { echo "printapp_compare: $tool is missing (bash scripts/deps)" >&2; exit 1; }
done
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j 2 --target rastertozorvan zvprintapp ppds >/dev/null
rm -rf "$work"
mkdir -p "$work/app"

gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pwgraster -r203 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
  -dDEVICEWIDTHPOINTS=288 -dDEVICEHEIGHTPOINTS=432 -dFIXEDMEDIA -sOutputFile="$work/label.pwg" \
  "$root/samples/label.pdf"

port=8691
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
SNAP_COMMON="$work/app" ZORVAN_LOG_DIR="$work/app" "$build/printapp/zvprintapp" server -o server-port="$port" \
  -o state-file="$work/app/state" -o spool-directory="$work/app" -o log-file="$work/app/log" -o log-level=warn &
app_pid=$!
trap 'kill $app_pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

cat > "$work/print.test" <<'TEST'
{
  NAME "Print the label"
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name bench
  ATTR mimeMediaType document-format image/pwg-raster
  FILE $filename
  STATUS successful-ok
}
TEST

for family in zpl-203 tspl-203; do
  driver="zorvan_${family/-/_}"
  : > "$work/app/$family.prn"
  cat > "$work/create-$family.test" <<TEST
{
  OPERATION Create-Printer
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri system-uri \$uri
  ATTR keyword printer-service-type print
  ATTR keyword smi55357-driver $driver
  ATTR uri smi55357-device-uri file://$work/app/$family.prn
  GROUP printer-attributes-tag
  ATTR name printer-name $family
  STATUS successful-ok
}
TEST
  ipptool -t "ipp://localhost:$port/ipp/system" "$work/create-$family.test" >/dev/null
  ppd="$build/ppd/zorvan-$family.ppd"
  hyperfine --warmup 3 --runs "$runs" --export-json "$work/$family.json" \
    -n "filter $family" "PPD=$ppd ZORVAN_LOG_DIR=$work $build/rastertozorvan 1 bench label 1 '' < $work/label.pwg > /dev/null" \
    -n "zvprintapp $family" "ipptool -t -f $work/label.pwg ipp://localhost:$port/ipp/print/$family $work/print.test > /dev/null"
  python3 - "$work/$family.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
filt, app = results[0]["mean"], results[1]["mean"]
ratio = app / filt
print(f"{results[1]['command']}: {app*1000:.1f} ms, filter {filt*1000:.1f} ms, ratio {ratio:.2f} "
      f"({'within' if ratio <= 1.2 else 'MISSES'} the 1.2 goal)")
PY
done
