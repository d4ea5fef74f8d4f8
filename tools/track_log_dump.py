#!/usr/bin/env python3
"""Prints the daily track log files of a device image: name, size, record
count, and the first and last records decoded.

    tools/track_log_dump.py [--all] DIR/ResidentFlash/vellumtrace

A record is 14 bytes, little-endian: int32 seconds of the UTC day, float32
latitude (ddmm.mmmm), latitude letter, float32 longitude (dddmm.mmmm),
longitude letter. The file name is the UTC date, DDMMYY.log.
"""
import argparse
import os
import re
import struct
import sys

RECORD = struct.Struct("<ifcfc")  # 14 bytes, no padding


def describe(rec):
    seconds, lat, lat_ref, lon, lon_ref = rec
    def deg(packed, ref):
        d = int(packed // 100) + (packed % 100) / 60.0
        return -d if ref in (b"S", b"W") else d
    letter = lambda b: b.decode("latin-1") if b != b"\0" else "-"
    return "%02d:%02d:%02d  %.4f %s  %.4f %s  (%.6f, %.6f)" % (
        seconds // 3600, seconds // 60 % 60, seconds % 60, lat, letter(lat_ref), lon,
        letter(lon_ref), deg(lat, lat_ref), deg(lon, lon_ref))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--all", action="store_true", help="print every record")
    ap.add_argument("folder")
    args = ap.parse_args()
    names = sorted(n for n in os.listdir(args.folder) if re.fullmatch(r"\d{6}\.log", n, re.I))
    if not names:
        print("no day files in %s" % args.folder)
        return 1
    for name in names:
        data = open(os.path.join(args.folder, name), "rb").read()
        count, torn = divmod(len(data), RECORD.size)
        d = name[:6]
        print("%s  (20%s-%s-%s UTC)  %d bytes  %d records%s" % (
            name, d[4:6], d[2:4], d[0:2], len(data), count,
            "  + %d bytes of a torn record" % torn if torn else ""))
        records = [RECORD.unpack_from(data, i * RECORD.size) for i in range(count)]
        shown = records if args.all else records[:1] + records[-1:] if count > 1 else records
        for i, rec in zip(range(count) if args.all else [0, count - 1], shown):
            print("  #%-5d %s" % (i + 1, describe(rec)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
