#!/usr/bin/env bash
# scripts/print-local must not write through to the system's filter folder:
# with a rastertozorvan installed there, printing with it leaves that file as
# it was. A stand-in cups-config points the script at a scratch "system"
# folder holding such an installed filter.
#   print_local_test.sh SOURCE_DIR FILTER PPD
set -euo pipefail
source_dir="$1" filter="$2" ppd="$3"
command -v cupsfilter >/dev/null || { echo "cupsfilter is not installed"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/serverbin/filter"
printf 'installed filter\n' > "$work/serverbin/filter/rastertozorvan"
real="$(command -v cups-config)"
cat > "$work/bin/cups-config" <<SH
#!/bin/sh
[ "\$1" = --serverbin ] && echo "$work/serverbin" && exit 0
exec "$real" "\$@"
SH
chmod 0755 "$work/bin/cups-config"
# The chain cannot run without the system's filters; only the folder matters.
PATH="$work/bin:$PATH" FILTER="$filter" ZORVAN_LOG_DIR="$work" \
  bash "$source_dir/scripts/print-local" "$ppd" "$source_dir/samples/label.pdf" > /dev/null 2>&1 || true
if [ "$(cat "$work/serverbin/filter/rastertozorvan")" != "installed filter" ]; then
  echo "print-local wrote into the installed filter"
  exit 1
fi
echo "the installed filter is untouched"
