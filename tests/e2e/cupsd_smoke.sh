#!/usr/bin/env bash
# Smoke test of the whole driver in a real CUPS scheduler: starts a private
# cupsd on a loopback port with its own configuration, spool, state and log
# directories (nothing of the system's CUPS is touched), checks that lpinfo -m
# lists our PPDs, adds a queue with one of them (lpadmin -m, as a person
# would) and a file: device, prints a PDF with lp, waits for the job to
# complete, checks the bytes the "printer" received, and stops the scheduler.
# The private data directory's model/zorvan points at the PPD's directory, as
# /usr/share/cups/model/zorvan does after an install.
#
#   cupsd_smoke.sh FILTER PPD PDF [EXPECT_BEGIN [EXPECT_END [EXPECT_MODEL]]]
#
# EXPECT_BEGIN / EXPECT_END are printf formats of the first / last bytes of the
# job (default: a TSPL label); EXPECT_MODEL the model number the filter must
# report in its log (default 161). Exit 77 (skipped) when a CUPS program is
# missing on this machine.
set -uo pipefail
filter="$1"
ppd="$2"
pdf="$3"
expect_begin="${4:-SIZE }"
expect_end="${5:-PRINT 1,1\r\n}"
expect_model="${6:-161}"

PATH="$PATH:/usr/sbin:/sbin"
for tool in cupsd lpadmin lpinfo lp lpstat cups-config gs; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

work="$(mktemp -d)"
chmod 0755 "$work"
cupsd_pid=""
cleanup() {
  if [ -n "$cupsd_pid" ] && kill -0 "$cupsd_pid" 2>/dev/null; then
    kill "$cupsd_pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$cupsd_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$cupsd_pid" 2>/dev/null || true
  fi
  if [ "${KEEP_SMOKE_DIR:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  echo "---- cupsd error_log (last 40 lines)"
  tail -n 40 "$work/log/error_log" 2>/dev/null
  echo "---- filter log"
  tail -n 20 "$work/zvlog/LxxLog.log" 2>/dev/null
  exit 1
}

# A free loopback port, 8631 first.
port=""
for p in ${ZV_SMOKE_PORT:-} 8631 8632 8633 8634 8635 8636 8637 8638 8639; do
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then port="$p"; break; fi
done
[ -n "$port" ] || fail "no free port between 8631 and 8639"
server="127.0.0.1:$port"

sysbin="$(cups-config --serverbin)"
sysdata="$(cups-config --datadir)"
mkdir -p "$work"/{conf,spool/tmp,cache,state,log,out,zvlog} "$work"/serverbin/{filter,backend,daemon} \
  "$work/data/model"
for f in "$sysdata"/*; do
  [ "$(basename "$f")" = model ] || ln -s "$f" "$work/data/"
done
ln -s "$(cd "$(dirname "$ppd")" && pwd)" "$work/data/model/zorvan"
model="zorvan/$(basename "$ppd")"
chmod 0755 "$work"/serverbin "$work"/serverbin/* "$work/out"
chmod 0777 "$work/zvlog"   # the filters run as the unprivileged CUPS user
for kind in filter backend daemon; do
  for f in "$sysbin/$kind"/*; do
    [ "$(basename "$f")" = rastertozorvan ] || ln -s "$f" "$work/serverbin/$kind/"
  done
done
install -m 0755 "$filter" "$work/serverbin/filter/rastertozorvan"

cat > "$work/conf/cups-files.conf" <<CONF
ServerRoot $work/conf
ServerBin $work/serverbin
DataDir $work/data
RequestRoot $work/spool
TempDir $work/spool/tmp
CacheDir $work/cache
StateDir $work/state
ErrorLog $work/log/error_log
AccessLog $work/log/access_log
PageLog $work/log/page_log
FileDevice Yes
SetEnv ZORVAN_LOG_DIR $work/zvlog
CONF
cat > "$work/conf/cupsd.conf" <<CONF
Listen $server
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

up=0
for _ in $(seq 100); do
  if lpstat -h "$server" -r 2>/dev/null | grep -q "is running"; then up=1; break; fi
  kill -0 "$cupsd_pid" 2>/dev/null || { cat "$work/log/cupsd.out"; fail "cupsd exited"; }
  sleep 0.1
done
[ "$up" = 1 ] || fail "cupsd did not answer on $server"

out="$work/out/printer.bin"
lpinfo -h "$server" -m 2>/dev/null | grep -q "^$model " || fail "lpinfo -m does not list $model"
lpadmin -h "$server" -p zvsmoke -E -v "file://$out" -m "$model" 2>/dev/null || fail "lpadmin could not add the queue"
request="$(lp -h "$server" -d zvsmoke -t smoke-label "$pdf")" || fail "lp could not submit the job"
echo "$request"
job="$(echo "$request" | sed -n 's/^request id is \([^ ]*\).*/\1/p')"
[ -n "$job" ] || fail "no job id in: $request"

done_ok=0
for _ in $(seq 600); do
  if lpstat -h "$server" -W completed -o zvsmoke 2>/dev/null | grep -q "^$job "; then done_ok=1; break; fi
  if lpstat -h "$server" -p zvsmoke 2>/dev/null | grep -q "disabled"; then fail "the queue stopped (job failed)"; fi
  sleep 0.1
done
[ "$done_ok" = 1 ] || fail "job $job did not complete within 60 s"
grep -q "\[Job ${job#zvsmoke-}\] Job completed" "$work/log/error_log" || fail "the job did not end as completed"

[ -s "$out" ] || fail "the printer received no bytes"
size="$(stat -c %s "$out")"
# Compared as files: a command substitution would drop trailing line ends.
printf "$expect_begin" > "$work/begin"
printf "$expect_end" > "$work/end"
head -c "$(stat -c %s "$work/begin")" "$out" | cmp -s - "$work/begin" || \
  fail "the job does not begin with $(od -An -c "$work/begin")"
tail -c "$(stat -c %s "$work/end")" "$out" | cmp -s - "$work/end" || \
  fail "the job does not end with $(od -An -c "$work/end")"
grep -aq "Default Printer Model:$expect_model" "$work/zvlog/LxxLog.log" || fail "the filter did not report model $expect_model"
echo "PASS: job $job printed through cupsd on $server, $size bytes received"
