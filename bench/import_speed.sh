#!/bin/sh
# vellumtrace-tool import of a whole day of fixes at one a second (86,400
# $GPRMC lines with checksums, 6.3 MB) into a fresh device image: wall and
# the records it wrote. Goal: under 1 s.
#
#   bench/import_speed.sh             # builds the release tool first
set -eu
cd "$(dirname "$0")/.."
VT_JOBS=${VT_JOBS:-2} scripts/build release --target vellumtrace-tool >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/vellumtrace-import-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
python3 - "$work/day.nmea" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    for s in range(86400):
        lat = 5545.1234 + s * 0.0001
        body = "GPRMC,%02d%02d%02d.00,A,%.4f,N,03737.5678,E,0.13,309.62,060326,,,A" % (
            s // 3600, s // 60 % 60, s % 60, lat)
        sum = 0
        for c in body:
            sum ^= ord(c)
        out.write("$%s*%02X\r\n" % (body, sum))
PY
mkdir "$work/root"
start=$(date +%s.%N)
build/tools/vellumtrace-tool import --root "$work/root" "$work/day.nmea"
end=$(date +%s.%N)
records=$(($(wc -c < "$work/root/ResidentFlash/vellumtrace/060326.log") / 14))
awk -v s="$start" -v e="$end" -v r="$records" \
  'BEGIN { printf "%d records written in %.3f s (goal < 1 s)\n", r, e - s }'
