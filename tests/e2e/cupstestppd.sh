#!/usr/bin/env bash
# Runs cupstestppd on every generated PPD. The filter named by the PPDs is
# looked up under a private root (-R), into which the built filter is copied,
# so the check needs no installed driver.
#   cupstestppd.sh FILTER PPD_DIR
set -euo pipefail
filter="$1"
ppd_dir="$2"
serverbin="$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
mkdir -p "$root$serverbin/filter"
install -m 0755 "$filter" "$root$serverbin/filter/rastertozorvan"

shopt -s nullglob
ppds=("$ppd_dir"/*.ppd)
if [ "${#ppds[@]}" -eq 0 ]; then
  echo "no PPD files in $ppd_dir" >&2
  exit 1
fi
failed=0
for ppd in "${ppds[@]}"; do
  if cupstestppd -q -R "$root" "$ppd"; then
    echo "PASS $(basename "$ppd")"
  else
    echo "FAIL $(basename "$ppd")"
    cupstestppd -R "$root" "$ppd" | grep -A2 'FAIL' || true
    failed=$((failed + 1))
  fi
done
echo "${#ppds[@]} PPD files checked, $failed failed"
[ "$failed" -eq 0 ]
