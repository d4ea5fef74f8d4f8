#!/usr/bin/env python3
"""A long run of the whole program, by hand (not part of the test suite).

A receiver on a pty sends a capture's cycles five times a second, looping;
every 20 s a card goes in (DIR/DSK2 answers, DIR/SDMMC/DCIM holds fresh
copies of camera-like photos), START is touched through the control
channel, the batch runs to its closing message, OK is touched and the card
comes out. The program's resident memory, open files and threads are sampled
every few seconds; a device that runs for weeks must keep all three flat.
The fixes sent are counted against the records the day files gained: the
fixes that arrive while a batch runs are held and written after it, so none
may be lost.

    bench/soak.py [--minutes 30] [--card-period 20] [--photos 12]

Builds nothing: run `scripts/build release --target vellumtrace photogen`
first. Prints the samples as they come and a summary at the end: each
figure once two cards have warmed the program up, at the end and at its
highest, and how much it grew.
"""
import argparse
import os
import pty
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import tty

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
BUILD = os.environ.get("VT_BUILD", os.path.join(SOURCE, "build"))
CAPTURE = os.path.join(SOURCE, "tests", "data", "nmea", "gpslim236.log")

# The control-channel client, the capture's cycles and the card identity are
# the demo's.
sys.path.insert(0, os.path.join(SOURCE, "tools"))
from screen_demo import Control, capture_cycles, identification  # noqa: E402


def valid_fixes(cycle):
    """The fixes a cycle carries: RMC sentences with status A."""
    return sum(1 for l in cycle if l[3:7] == "RMC," and l.split(",")[2:3] == ["A"])


def sample(pid):
    status = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            status[key] = value.strip()
    return {"rss_kb": int(status["VmRSS"].split()[0]),
            "fds": len(os.listdir("/proc/%d/fd" % pid)),
            "threads": int(status["Threads"])}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--minutes", type=float, default=30)
    ap.add_argument("--card-period", type=float, default=20)
    ap.add_argument("--photos", type=int, default=12)
    ap.add_argument("--sample-every", type=float, default=5)
    args = ap.parse_args()

    root = tempfile.mkdtemp(prefix="vellumtrace-soak-")
    pristine = os.path.join(root, "pristine")
    dcim = os.path.join(root, "SDMMC", "DCIM")
    sock = os.path.join(root, "control.sock")
    ctl = Control(sock)
    os.makedirs(pristine)
    subprocess.run([os.path.join(BUILD, "tools", "photogen"), "--out", pristine, "--nmea", CAPTURE,
                    "--count", str(args.photos)], check=True, capture_output=True)

    master, slave = pty.openpty()
    tty.setraw(slave)
    program = subprocess.Popen(
        [os.path.join(BUILD, "vellumtrace"), "--root", root, "--com1", os.ttyname(slave),
         "--display", "headless", "--msgbox", "wait", "--control", sock],
        stdout=subprocess.DEVNULL)
    stop = threading.Event()

    counting = threading.Event()
    fixes_sent = [0]

    def receiver():
        cycles = capture_cycles(CAPTURE)
        while not stop.is_set():
            for cycle in cycles:
                if stop.is_set():
                    break
                os.write(master, "".join(l + "\r\n" for l in cycle).encode())
                if counting.is_set():
                    fixes_sent[0] += valid_fixes(cycle)
                time.sleep(0.2)

    samples = []

    def sampler():
        while not stop.is_set():
            s = sample(program.pid)
            s["t"] = time.monotonic() - started
            samples.append(s)
            print("%7.0f s  RSS %6d KB  fds %3d  threads %2d" % (s["t"], s["rss_kb"], s["fds"],
                                                                 s["threads"]), flush=True)
            stop.wait(args.sample_every)

    try:
        if ctl.wait("window", "", 10, program) is None:
            sys.exit("soak: the program did not come up")
        started = time.monotonic()
        threading.Thread(target=receiver, daemon=True).start()
        threading.Thread(target=sampler, daemon=True).start()
        # The first card goes in once the recorder is logging: one already in
        # at start is the card last seen and is never announced.
        # Once the whole capture is in the log, every photo finds its fix.
        log_dir = os.path.join(root, "ResidentFlash", "vellumtrace")
        whole = 14 * len(capture_cycles(CAPTURE))

        def logged():
            return sum(os.path.getsize(os.path.join(log_dir, n)) for n in os.listdir(log_dir))
        while not (os.path.isdir(log_dir) and logged() >= whole):
            if time.monotonic() - started > 30:
                sys.exit("soak: the recorder does not log the capture")
            time.sleep(0.1)
        batches, after_first, closing = 0, None, ""
        # Counted from here: what the log holds now, and every fix sent on.
        logged_before = logged()
        counting.set()
        end = started + args.minutes * 60
        while time.monotonic() + args.card_period <= end:
            cycle_start = time.monotonic()
            shutil.rmtree(dcim, ignore_errors=True)
            shutil.copytree(pristine, dcim)
            with open(os.path.join(root, "DSK2.new"), "wb") as f:
                f.write(identification(struct.pack(">I", batches)))
            os.rename(os.path.join(root, "DSK2.new"), os.path.join(root, "DSK2"))
            if ctl.wait("window", "visible", 10) is None:
                sys.exit("soak: the tagging screen did not come up")
            ctl("tap 50 205")
            if ctl.wait("msgbox", "open", args.card_period + 30) is None:
                sys.exit("soak: the batch did not end")
            closing = ctl("msgbox").split("\t")[-1]
            ctl("press-ok")
            ctl.wait("window", "hidden", 5)
            os.unlink(os.path.join(root, "DSK2"))
            batches += 1
            if batches == 2:  # the first two batches warm the heap and the caches up
                after_first = len(samples)
            time.sleep(max(0.0, args.card_period - (time.monotonic() - cycle_start)))
        stop.set()
        time.sleep(1.5)  # the ticks that read the last cycles have written them
        fixes_logged = (logged() - logged_before) // 14
    finally:
        stop.set()
        ctl("quit")
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            program.kill()
        shutil.rmtree(root, ignore_errors=True)

    steady = samples[after_first:] if after_first is not None else samples
    if not steady:
        sys.exit("soak: no samples")
    print("\n%d batches of %d photos in %.1f min; %d samples; the last said: %s" % (
        batches, args.photos, args.minutes, len(samples), closing))
    print("fixes sent %d, logged %d, lost %d" % (fixes_sent[0], fixes_logged,
                                                  fixes_sent[0] - fixes_logged))
    for key, unit in (("rss_kb", "KB"), ("fds", ""), ("threads", "")):
        first, last = steady[0][key], steady[-1][key]
        top = max(s[key] for s in steady)
        print("%-8s after the second card %6d %s, at the end %6d %s, highest %6d %s, grew %+d" % (
            key, first, unit, last, unit, top, unit, last - first))


if __name__ == "__main__":
    main()
