#!/usr/bin/env python3
"""Plays a GPS receiver on a pty: replays an NMEA capture as a receiver sends
it, one reporting cycle per burst, each line ending in CR LF.

    tools/nmea_replay.py --link DIR/Com1 [--interval 0.625] [--bursts N] CAPTURE

Opens a pty pair, points the link (a device image's Com1) at the slave end
and sends the capture's bursts into the master end, one every --interval
seconds (1.0 is a receiver's own pace). A burst is sent only once the
program has read the one before, so every burst is one tick's read. Comment
lines ('#') of the capture are not sent. Prints one line per burst sent to
standard error when --verbose is given.
"""
import argparse
import fcntl
import os
import struct
import sys
import termios
import time
import tty

TIME_FIELD = {"GGA": 1, "RMC": 1, "ZDA": 1, "GNS": 1, "GST": 1, "GLL": 5}


def capture_lines(path):
    with open(path, "rb") as f:
        for raw in f:
            line = raw.rstrip(b"\r\n")
            if line and not line.startswith(b"#"):
                yield line


def cycle_bursts(lines):
    """One reporting cycle per burst: a cycle ends before a sentence with a
    different UTC time, or a sentence type the cycle already holds (the
    multi-part satellite view excepted). Other lines stay where they are."""
    bursts, burst, types, cycle_time = [], [], set(), None
    for line in lines:
        if line.startswith(b"$"):
            fields = line.split(b",")
            kind = fields[0]
            index = TIME_FIELD.get(kind[3:6].decode("ascii", "replace"))
            t = (fields[index] if index < len(fields) else b"") if index else None
            gsv = kind[3:6] == b"GSV"
            repeat = kind in types and (not gsv or (len(fields) > 2 and fields[2] == b"1"))
            new_time = t is not None and cycle_time is not None and t != cycle_time
            if (repeat or new_time) and burst:
                bursts.append(b"".join(burst))
                burst, types, cycle_time = [], set(), None
            types.add(kind)
            if t is not None and cycle_time is None:
                cycle_time = t
        burst.append(line + b"\r\n")
    if burst:
        bursts.append(b"".join(burst))
    return bursts


def unread(fd):
    buf = fcntl.ioctl(fd, termios.TIOCINQ, struct.pack("i", 0))
    return struct.unpack("i", buf)[0]


def wait_until_read(fd, timeout):
    deadline = time.monotonic() + timeout
    while unread(fd) > 0:
        if time.monotonic() > deadline:
            return False
        time.sleep(0.01)
    return True


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--link", required=True, help="symlink to point at the pty (DIR/Com1)")
    ap.add_argument("--interval", type=float, default=1.0, help="seconds between bursts")
    ap.add_argument("--bursts", type=int, default=0, help="send at most this many bursts")
    ap.add_argument("--start-timeout", type=float, default=20.0,
                    help="how long to wait for the program to read the first burst")
    ap.add_argument("--verbose", action="store_true")
    ap.add_argument("capture")
    args = ap.parse_args()

    bursts = cycle_bursts(capture_lines(args.capture))
    if args.bursts:
        bursts = bursts[: args.bursts]
    master, slave = os.openpty()
    tty.setraw(slave)  # nothing echoed or translated before the program sets the line up
    name = os.ttyname(slave)
    if os.path.lexists(args.link):
        os.unlink(args.link)
    os.symlink(name, args.link)

    last = 0.0
    for i, burst in enumerate(bursts):
        time.sleep(max(0.0, last + args.interval - time.monotonic()))
        if not wait_until_read(slave, args.start_timeout if i <= 1 else 10.0):
            print("nmea_replay: the port is not being read", file=sys.stderr)
            return 1
        os.write(master, burst)
        last = time.monotonic()
        if args.verbose:
            print("nmea_replay: burst %d/%d, %d bytes" % (i + 1, len(bursts), len(burst)),
                  file=sys.stderr)
    time.sleep(max(0.0, last + args.interval - time.monotonic()))
    wait_until_read(slave, 10.0)
    time.sleep(0.3)  # the tick that read the last burst writes its records
    os.unlink(args.link)
    return 0


if __name__ == "__main__":
    sys.exit(main())
