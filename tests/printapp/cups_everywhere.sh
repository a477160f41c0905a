#!/usr/bin/env bash
# A PDF printed from "another computer" without any driver: a private cupsd
# (its own configuration, spool and log directories on a loopback port) gets a
# driverless IPP Everywhere queue (lpadmin -m everywhere) for a printer of
# zvprintapp, which runs on a loopback port of its own with a file device.
# lp prints the PDF; CUPS turns it into PWG raster for the queue, zvprintapp
# turns that into TSPL, and the file must hold one whole TSPL label.
#
#   cups_everywhere.sh ZVPRINTAPP PDF
#
# Exit 77 (skipped) when a CUPS program is missing on this machine.
set -uo pipefail
app="$1"
pdf="$2"

PATH="$PATH:/usr/sbin:/sbin"
for tool in cupsd lpadmin lp lpstat cups-config ipptool; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done

work="$(mktemp -d)"
chmod 0755 "$work"
cupsd_pid=""
app_pid=""
cleanup() {
  for pid in $cupsd_pid $app_pid; do
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  if [ "${KEEP_SMOKE_DIR:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  echo "---- cupsd error_log (last 30 lines)"
  tail -n 30 "$work/log/error_log" 2>/dev/null
  echo "---- zvprintapp log (last 30 lines)"
  grep -v "^D" "$work/app/zvprintapp.log" 2>/dev/null | tail -n 30
  exit 1
}

free_port() {
  for p in "$@"; do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then echo "$p"; return; fi
  done
}
app_port="$(free_port 8641 8642 8643 8644 8645 8646 8647 8648 8649)"
cups_port="$(free_port 8651 8652 8653 8654 8655 8656 8657 8658 8659)"
[ -n "$app_port" ] && [ -n "$cups_port" ] || fail "no free loopback ports"

# The printer application, its command socket and state in the work directory.
mkdir -p "$work/app"
: > "$work/app/label.prn"
SNAP_COMMON="$work/app" ZORVAN_LOG_DIR="$work/app" "$app" server -o server-port="$app_port" \
  -o state-file="$work/app/zvprintapp.state" -o spool-directory="$work/app" \
  -o log-file="$work/app/zvprintapp.log" -o log-level=debug &
app_pid=$!
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$app_port") 2>/dev/null && break; sleep 0.1; done
cat > "$work/create.test" <<TEST
{
  NAME "Add the label printer"
  OPERATION Create-Printer
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri system-uri \$uri
  ATTR keyword printer-service-type print
  ATTR keyword smi55357-driver zorvan_tspl_203
  ATTR uri smi55357-device-uri file://$work/app/label.prn
  GROUP printer-attributes-tag
  ATTR name printer-name labels
  STATUS successful-ok
}
TEST
ipptool -t "ipp://localhost:$app_port/ipp/system" "$work/create.test" | grep -q PASS || fail "could not add the printer"

# A private cupsd with the system's filters and backends.
sysbin="$(cups-config --serverbin)"
sysdata="$(cups-config --datadir)"
mkdir -p "$work"/{conf,spool/tmp,cache,state,log} "$work/serverbin"
for kind in filter backend daemon cgi-bin driver; do
  [ -d "$sysbin/$kind" ] && ln -s "$sysbin/$kind" "$work/serverbin/$kind"
done
cat > "$work/conf/cups-files.conf" <<CONF
ServerRoot $work/conf
ServerBin $work/serverbin
DataDir $sysdata
RequestRoot $work/spool
TempDir $work/spool/tmp
CacheDir $work/cache
StateDir $work/state
ErrorLog $work/log/error_log
AccessLog $work/log/access_log
PageLog $work/log/page_log
CONF
cat > "$work/conf/cupsd.conf" <<CONF
Listen 127.0.0.1:$cups_port
LogLevel debug
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cupsd -f -c "$work/conf/cupsd.conf" -s "$work/conf/cups-files.conf" >"$work/log/cupsd.out" 2>&1 &
cupsd_pid=$!
server="127.0.0.1:$cups_port"
up=0
for _ in $(seq 100); do
  if lpstat -h "$server" -r 2>/dev/null | grep -q "is running"; then up=1; break; fi
  kill -0 "$cupsd_pid" 2>/dev/null || { cat "$work/log/cupsd.out"; fail "cupsd exited"; }
  sleep 0.1
done
[ "$up" = 1 ] || fail "cupsd did not answer on $server"

# The driverless queue, as a desktop adds one for a network printer.
lpadmin -h "$server" -p driverless -E -v "ipp://localhost:$app_port/ipp/print/labels" -m everywhere 2>"$work/lpadmin.err" ||
  fail "lpadmin -m everywhere failed: $(cat "$work/lpadmin.err")"
request="$(lp -h "$server" -d driverless -t everywhere-label "$pdf")" || fail "lp could not submit the job"
job="$(echo "$request" | sed -n 's/^request id is \([^ ]*\).*/\1/p')"
[ -n "$job" ] || fail "no job id in: $request"
done_ok=0
for _ in $(seq 900); do
  if lpstat -h "$server" -W completed -o driverless 2>/dev/null | grep -q "^$job "; then done_ok=1; break; fi
  sleep 0.1
done
[ "$done_ok" = 1 ] || fail "job $job did not complete within 90 s"
for _ in $(seq 100); do grep -q "Job [0-9]*\] Job completed" "$work/app/zvprintapp.log" && break; sleep 0.1; done
grep -q "raster data is" "$work/app/zvprintapp.log" || fail "zvprintapp did not receive a raster"

out="$work/app/label.prn"
[ -s "$out" ] || fail "the printer received no bytes"
head -c 5 "$out" | grep -q "^SIZE " || fail "the job does not begin with a TSPL SIZE line"
tail -c 11 "$out" | od -An -c | tr -d ' \n' | grep -q 'PRINT1,1\\r\\n$' || fail "the job does not end with PRINT 1,1"
echo "PASS: $pdf printed through a driverless CUPS queue into zvprintapp, $(stat -c %s "$out") bytes of TSPL"
