#!/usr/bin/env python3
"""The program's main job, start to finish, on a fresh device image
(scripts/demo installs what is missing, builds, and runs this).

A receiver replays a real capture through a pty; a few seconds in, a camera
card goes into the slot with photos taken along that track (made by
photogen); the tagging screen comes up; START is touched; the photos are
tagged one per tick while the screen shows the percentage and the bar; the
closing message reports the count; OK hides the screen and the recorder goes
on logging. Snapshots of the screen are saved along the way.

Opens the SDL window when a display is there ($DISPLAY), runs headless
otherwise. Options: --headless, --root DIR (default: a new temporary folder),
--docs (also write the snapshots to docs/ for the README).
"""
import os
import pty
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))  # tools/..
BUILD = os.path.join(REPO, "build")


# The capture travels with the project (tests/data, see its README).
CAPTURE = os.environ.get("VT_DEMO_CAPTURE") or os.path.join(
    REPO, "tests", "data", "nmea", "gpslim236.log")


def say(text):
    print("demo: " + text, flush=True)


def capture_cycles(path):
    """The capture's sentences grouped into reporting cycles, one $GPRMC each."""
    cycles, current = [], []
    with open(path, encoding="ascii", errors="replace") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if not line.startswith("$"):
                continue
            if line.startswith("$GPRMC") and any(l.startswith("$GPRMC") for l in current):
                cycles.append(current)
                current = []
            current.append(line)
    if current:
        cycles.append(current)
    return cycles


class Control:
    def __init__(self, path):
        self.path = path

    def ask(self, command):
        """The reply line, or None when nobody answered (no socket, no program)."""
        try:
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                s.settimeout(5)
                s.connect(self.path)
                s.sendall((command + "\n").encode())
                reply = b""
                while not reply.endswith(b"\n"):
                    chunk = s.recv(4096)
                    if not chunk:
                        break
                    reply += chunk
                if not reply.endswith(b"\n"):
                    return None
                return reply.decode("utf-8", "replace").rstrip("\n")
        except OSError:
            return None

    def __call__(self, command):
        reply = self.ask(command)
        return "" if reply is None else reply

    def wait(self, command, start, timeout, program=None):
        """The first reply that starts with `start`, within `timeout` seconds;
        None when none came, or as soon as `program` (a Popen) has ended."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            reply = self.ask(command)
            if reply is not None and reply.startswith(start):
                return reply
            if program is not None and program.poll() is not None:
                return None
            time.sleep(0.05)
        return None


def identification(serial):
    ident = b"\x03" + serial
    return struct.pack("<4I", 16 + len(ident), 0, 16, 17) + ident


def main():
    args = sys.argv[1:]
    headless = "--headless" in args or not os.environ.get("DISPLAY")
    docs = "--docs" in args
    root = (args[args.index("--root") + 1] if "--root" in args else os.environ.get("VT_DEMO_ROOT")
            or tempfile.mkdtemp(prefix="vellumtrace-demo-"))
    if os.path.exists(os.path.join(root, "ResidentFlash")):
        sys.exit("demo: %s is not a fresh device image" % root)
    os.makedirs(root, exist_ok=True)
    snapshots = os.path.join(root, "snapshots")
    os.makedirs(snapshots, exist_ok=True)

    if not os.path.exists(CAPTURE):
        sys.exit("demo: no receiver capture found (set VT_DEMO_CAPTURE)")

    # The receiver: the master end of a pty; the program reads the slave.
    master, slave = pty.openpty()
    tty.setraw(slave)
    slave_path = os.ttyname(slave)
    control = Control(os.path.join(root, "control.sock"))
    display = ["--display", "headless"] if headless else ["--display", "sdl", "--scale", "2"]
    say("device image %s; receiver on %s; %s display" % (root, slave_path,
                                                         "headless" if headless else "sdl"))
    program = subprocess.Popen(
        [os.path.join(BUILD, "vellumtrace"), "--root", root, "--com1", slave_path, *display,
         "--msgbox", "wait", "--control", control.path],
        stdout=subprocess.PIPE, text=True)
    lines = []

    def read_output():
        for line in program.stdout:
            lines.append(line.rstrip("\n"))
            say("program: " + line.rstrip("\n"))

    threading.Thread(target=read_output, daemon=True).start()
    try:
        if control.wait("window", "", 10, program) is None:
            sys.exit("demo: the program did not come up")

        cycles = capture_cycles(CAPTURE)
        say("replaying %d fixes of %s, four a second" % (len(cycles), os.path.basename(CAPTURE)))

        def replay():
            for cycle in cycles:
                os.write(master, "".join(l + "\r\n" for l in cycle).encode())
                time.sleep(0.25)

        replayer = threading.Thread(target=replay)
        replayer.start()

        # The card: photos first, then the disk device answers.
        time.sleep(2.5)
        card = os.path.join(root, "SDMMC")
        made = subprocess.run([os.path.join(BUILD, "tools", "photogen"), "--out",
                               os.path.join(card, "DCIM"), "--nmea", CAPTURE, "--count", "8",
                               "--width", "1600", "--height", "1200"],
                              check=True, capture_output=True, text=True).stdout.split("\n")
        made += subprocess.run([os.path.join(BUILD, "tools", "photogen"), "--out",
                                os.path.join(card, "DCIM"), "--time", "2006:07:22 09:00:00",
                                "--count", "1", "--first", "9"],
                               check=True, capture_output=True, text=True).stdout.split("\n")
        photos = [l.split(" ", 1) for l in made if l]
        with open(os.path.join(root, "DSK2.new"), "wb") as f:
            f.write(identification(b"\x12\xAB\x00\xFF\x42"))
        os.rename(os.path.join(root, "DSK2.new"), os.path.join(root, "DSK2"))
        say("card inserted: %d photos, 8 taken along the track (camera clock UTC+3), "
            "1 the next day" % len(photos))

        if control.wait("window", "visible", 10) is None:
            sys.exit("demo: the tagging screen did not come up")
        time.sleep(0.5)
        shots = []

        def snapshot(name):
            path = os.path.join(snapshots, name)
            reply = control("snapshot " + path)
            shots.append(path)
            say("snapshot %s (%s)" % (path, reply))

        snapshot("screen-idle.png")
        replayer.join()
        time.sleep(1.2)  # the recorder's last tick logs the last fixes

        say("touching START")
        control("tap 50 205")
        time.sleep(1.3)
        snapshot("screen-batch.png")
        box = control.wait("msgbox", "open", 30)
        if box is None:
            sys.exit("demo: no closing message")
        time.sleep(0.3)
        snapshot("screen-done.png")
        _, title, text = box.split("\t", 2)
        say("closing message: %s: %s" % (title, text))
        time.sleep(0.5 if headless else 2.5)
        control("press-ok")
        control.wait("window", "hidden", 5)
        say("OK touched; the screen is hidden again")

        result = subprocess.run(["exiftool", "-q", "-q", "-p", "$FileName  $GPSPosition", "-n",
                                 os.path.join(card, "DCIM")], capture_output=True, text=True).stdout
        tagged = {l.split()[0]: l.split(None, 1)[1] for l in result.splitlines() if len(l.split()) > 1}
        for path, when in photos:
            name = os.path.basename(path)
            say("  %s taken %s: %s" % (name, when, ("GPS " + tagged[name]) if name in tagged
                                      else "no fix at that time, left unchanged"))

        # Logging goes on once the batch is over.
        log = os.path.join(root, "ResidentFlash", "vellumtrace", "210706.log")
        before = os.path.getsize(log)
        for cycle in cycles[-3:]:
            os.write(master, "".join(l + "\r\n" for l in cycle).encode())
            time.sleep(0.3)
        time.sleep(1.0)
        say("track log %s: %d records, %d more after the batch" %
            (log, os.path.getsize(log) // 14, (os.path.getsize(log) - before) // 14))
        control("quit")
        program.wait(10)
        print("== day files in \\ResidentFlash\\vellumtrace", flush=True)
        subprocess.run([sys.executable, os.path.join(REPO, "tools", "track_log_dump.py"),
                        os.path.dirname(log)])
    finally:
        if program.poll() is None:
            program.kill()
        os.close(master)
        os.close(slave)

    if docs:
        os.makedirs(os.path.join(REPO, "docs"), exist_ok=True)
        for path in shots:
            shutil.copy(path, os.path.join(REPO, "docs", os.path.basename(path)))
        say("snapshots copied to docs/")
    say("tagged photos in %s, snapshots in %s" % (os.path.join(card, "DCIM"), snapshots))


if __name__ == "__main__":
    main()
