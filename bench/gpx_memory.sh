#!/bin/sh
# vellumtrace-tool gpx on one day file of 100 MB (about 7.5 million records,
# far beyond a day at one fix a second): wall time, CPU time and peak
# resident memory of the run. The memory must not grow with the log: give
# two tools (an older build first) to compare them on the same file.
#   bench/gpx_memory.sh [TOOL...]        # default build/tools/vellumtrace-tool
# VT_GPX_MB sets the log's size in MB (default 100).
set -eu
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- build/tools/vellumtrace-tool
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/ResidentFlash/vellumtrace" "$root/SDMMC"
python3 - "$root/ResidentFlash/vellumtrace/060326.log" "${VT_GPX_MB:-100}" <<'PY'
import math, struct, sys
records = int(sys.argv[2]) * 1000 * 1000 // 14
day = bytearray()
for s in range(86400):
    lat = 5545.0 + 5.0 * math.sin(s / 3000.0)
    lon = 3737.0 + 5.0 * math.cos(s / 3000.0)
    day += struct.pack("<ifcfc", s, lat, b"N", lon, b"E")
with open(sys.argv[1], "wb") as f:
    left = records
    while left > 0:
        n = min(left, 86400)
        f.write(day[: n * 14])
        left -= n
print(f"log: {records * 14 / 1e6:.0f} MB, {records:,} records")
PY
python3 - "$root" "$@" <<'PY'
import os, subprocess, sys, time
root, tools = sys.argv[1], sys.argv[2:]
for tool in tools:
    t = time.perf_counter()
    p = subprocess.Popen([tool, "gpx", "--root", root], stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - t
    cpu = usage.ru_utime + usage.ru_stime
    print(f"{tool}: gpx {wall:.2f} s ({cpu:.2f} s CPU), peak RSS {usage.ru_maxrss / 1024:.1f} MB"
          f"{'' if status == 0 else f' (exit status {status >> 8})'}")
PY
