#!/bin/sh
# The whole program idle with a receiver attached: CPU time as a share of one
# core and resident memory, over a measured window (60 s by default). The
# receiver is a pty fed at a receiver's own pace (one cycle a second) from a
# long capture, so the worker ticks, reads, parses and logs as on the device.
#
#   bench/idle_usage.sh [SECONDS]       # builds the release program first
# Prints the figures; goals: CPU < 0.2 % of one core, RSS < 8 MB.
# VT_IDLE_GPSD=1 puts a gpsd (listening on 127.0.0.1 at a free port) between
# the pty and the program, which reads it with --gpsd; gpsd's own CPU time
# is not counted.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
VT_JOBS=${VT_JOBS:-2} scripts/build release --target vellumtrace >/dev/null
capture=${VT_IDLE_CAPTURE:-tests/data/nmea/telit-he910.log}
root=$(mktemp -d "${TMPDIR:-/tmp}/vellumtrace-idle-XXXXXX")
program_pid=""
replay_pid=""
gpsd_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill -9 "$program_pid" 2>/dev/null || true
  [ -n "$gpsd_pid" ] && kill "$gpsd_pid" 2>/dev/null || true
  [ -n "$replay_pid" ] && kill "$replay_pid" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT INT TERM

python3 tools/nmea_replay.py --link "$root/Com1" --interval 1.0 "$capture" &
replay_pid=$!
while [ ! -L "$root/Com1" ]; do sleep 0.05; done
source_options=""
if [ "${VT_IDLE_GPSD:-0}" = 1 ]; then
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  gpsd -N -n -b -S "$port" "$(readlink "$root/Com1")" 2>/dev/null &
  gpsd_pid=$!
  source_options="--gpsd 127.0.0.1:$port"
  sleep 1
fi
# shellcheck disable=SC2086
build/vellumtrace --root "$root" --display headless $source_options >/dev/null &
program_pid=$!
sleep 3  # start-up is not idle

ticks() { awk '{ print $14 + $15 }' "/proc/$program_pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks)
start=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks)
end=$(date +%s.%N)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$program_pid/status")
hwm=$(awk '/^VmHWM/ { print $2 }' "/proc/$program_pid/status")
records=$(cat "$root"/ResidentFlash/vellumtrace/*.log 2>/dev/null | wc -c)
kill -TERM "$program_pid"
wait "$program_pid" || true
program_pid=""

awk -v t0="$t0" -v t1="$t1" -v hz="$hz" -v s="$start" -v e="$end" -v rss="$rss" -v hwm="$hwm" \
    -v rec="$records" 'BEGIN {
  wall = e - s; cpu = (t1 - t0) / hz
  printf "window %.1f s: CPU %.3f s = %.3f %% of one core (goal < 0.2 %%)\n", wall, cpu, 100 * cpu / wall
  printf "RSS %.2f MB, peak %.2f MB (goal < 8 MB); %d records logged\n", rss / 1024, hwm / 1024, rec / 14
}'
