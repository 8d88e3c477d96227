#!/usr/bin/env bash
# The whole program on a real X server (Xvfb) and virtual board 1: while the
# X server is stopped for 4 s (SIGSTOP, as a stuck remote display or
# compositor), the buffers keep reaching the board.
set -euo pipefail
sim=$(realpath "$1")
sonovar=$(realpath "$2")
settings_tool=$(realpath "$3")
command -v Xvfb >/dev/null || { echo "Xvfb is not installed: skipped"; exit 77; }
command -v sox >/dev/null || { echo "sox is not installed: skipped"; exit 77; }
work=$(mktemp -d)
xvfb=
run=
cleanup() {
  [[ -z $xvfb ]] || { kill -CONT "$xvfb" 2>/dev/null; kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }
  [[ -z $run ]] || { kill "$run" 2>/dev/null; wait "$run" 2>/dev/null; }
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>display 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [[ -s display ]] && break; sleep 0.1; done
[[ -s display ]] || { echo "FAIL: Xvfb did not start"; exit 1; }
"$settings_tool" Sonovar.SET Delay=0 Decay=3 CyanBias=128 YellowBias=128 RedBias=128 Board1Active=1 \
  Turbo=1 NonTurboDelay=1 InputDevice=0 Effect2Selected=1 "Name=Select File"
sox -q -n -r 11025 -c 2 -b 8 -e unsigned-integer loud.wav synth 12 noise vol 0.9

DISPLAY=:$(cat display) SONOVAR_INPUT_FILE=$work/loud.wav \
  "$sim" --boards 1 --view none --log "$work/log" -- "$sonovar" START >out 2>&1 &
run=$!
last() { tail -n 1 log 2>/dev/null | cut -d' ' -f1; }
sleep 3
from=$(last)
kill -STOP "$xvfb"
sleep 4
kill -CONT "$xvfb"
sleep 1
kill "$run"
wait "$run" 2>/dev/null || true
run=
# Board 1's profile reports (not its state reports, which begin with 40) in
# the 4 s the display was stopped: 172 buffers fit, a show that waits gets none.
buffers=$(awk -v from="${from:-0}" '$1 >= from && $1 <= from + 4000000 && $2 == 1 && $4 != "40"' log | wc -l)
buffers=$((buffers / 4))
if ((buffers < 100)); then
  echo "FAIL: $buffers buffers reached board 1 while the display was stopped"
  cat out
  exit 1
fi
echo "ok: $buffers buffers while the display was stopped"
