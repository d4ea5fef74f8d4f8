#!/bin/sh
# The headless program as a daemon: time from its start to the first fix in
# the day's track log, and its resident memory while it records; beside it,
# the same program with --display sdl (under Xvfb, when installed), which
# loads the SDL display's module and what SDL2 brings.
#
#   bench/headless_start.sh [RUNS] [SECONDS]   # builds the release program first
# Goals, headless: first fix logged < 1 s after start, RSS < 6 MB.
set -eu
cd "$(dirname "$0")/.."
runs=${1:-5}
seconds=${2:-10}
VT_JOBS=${VT_JOBS:-2} scripts/build release --target vellumtrace >/dev/null
capture=${VT_START_CAPTURE:-tests/data/nmea/bu353s4.log}  # a fix from its first sentence
work=$(mktemp -d "${TMPDIR:-/tmp}/vellumtrace-start-XXXXXX")
pids=""
cleanup() {
  for p in $pids; do kill -9 "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

now() { date +%s.%N; }

# One run: prints "SECONDS_TO_FIRST_FIX RSS_KB" for the display in $1.
run() {
  root="$work/root-$1-$2"
  mkdir -p "$root"
  python3 tools/nmea_replay.py --link "$root/Com1" --interval 1.0 "$capture" 2>/dev/null &
  replay=$!
  pids="$pids $replay"
  while [ ! -L "$root/Com1" ]; do sleep 0.01; done
  start=$(now)
  build/vellumtrace --root "$root" --display "$1" --msgbox auto >/dev/null 2>&1 &
  program=$!
  pids="$pids $program"
  while ! [ -s "$root/ResidentFlash/vellumtrace/"*.log ] 2>/dev/null; do sleep 0.005; done
  first=$(now)
  sleep "$seconds"
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$program/status")
  kill -TERM "$program"
  wait "$program" 2>/dev/null || true
  kill "$replay" 2>/dev/null || true
  wait "$replay" 2>/dev/null || true
  echo "$first $start $rss" | awk '{ printf "%.3f %d\n", $1 - $2, $3 }'
}

summary() {
  awk -v name="$1" '{ t += $1; r += $2; if ($1 > tmax) tmax = $1; if ($2 > rmax) rmax = $2; n++ }
    END { printf "%-9s first fix logged %.3f s mean, %.3f s worst; RSS %.2f MB mean, %.2f MB worst (%d runs)\n",
                 name, t / n, tmax, r / n / 1024, rmax / 1024, n
        }'
}

i=0
while [ $i -lt "$runs" ]; do run headless $i; i=$((i + 1)); done > "$work/headless"
summary headless < "$work/headless" 2>/dev/null

if command -v Xvfb >/dev/null; then
  display=:$((90 + $$ % 100))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  pids="$pids $xvfb"
  sleep 1
  i=0
  while [ $i -lt "$runs" ]; do DISPLAY=$display SDL_VIDEODRIVER=x11 run sdl $i; i=$((i + 1)); done > "$work/sdl"
  summary sdl < "$work/sdl" 2>/dev/null
  awk 'NR == FNR { h += $2; hn++; next } { s += $2; sn++ }
       END { printf "RSS headless / sdl: %.2f\n", (h / hn) / (s / sn) }' "$work/headless" "$work/sdl"
  kill "$xvfb" 2>/dev/null || true
else
  echo "sdl: not measured, Xvfb is not installed"
fi
