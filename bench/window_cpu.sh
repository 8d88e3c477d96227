#!/usr/bin/env bash
# CPU of the whole program capturing what a sound server plays, with four
# virtual boards active (Pulse/Sweep) and its window on a real X server
# (Xvfb): Sonovar itself, and what it adds to the sound server and to the X
# server, against the same playback without Sonovar.
#   bench/window_cpu.sh [SECONDS] [MUSIC_FILE]      (20 s; a synthetic song by default)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
music=${2:-}
build=$PWD/build
for tool in Xvfb pulseaudio paplay pactl; do
  command -v "$tool" >/dev/null || { echo "window_cpu: $tool is not installed"; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [[ -z "$music" ]]; then
  music=$work/music.wav
  sox -n -r 44100 -c 2 "$music" synth 60 sine 55 sine 220 tremolo 2 80 >/dev/null 2>&1 ||
    { echo "window_cpu: give a music file (sox is not installed)"; exit 1; }
fi

export XDG_RUNTIME_DIR=$work HOME=$work PULSE_SERVER=unix:$work/native
pulseaudio --daemonize=no --exit-idle-time=-1 -n --disable-shm=yes --use-pid-file=no --log-target=file:$work/pa.log \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$work/native" -L "module-null-sink sink_name=out" &
pids+=($!)
pulse=$!
Xvfb :97 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
xserver=$!
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

# Clock ticks used by a process since it started.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
tick=$(getconf CLK_TCK)
measure() {  # pid... -> percent of one core each over $seconds
  local before=() after=() p
  for p in "$@"; do before+=("$(ticks "$p")"); done
  sleep "$seconds"
  for p in "$@"; do after+=("$(ticks "$p")"); done
  for i in "${!before[@]}"; do
    awk -v a="${after[$i]}" -v b="${before[$i]}" -v t="$tick" -v s="$seconds" 'BEGIN { printf "%.2f ", 100 * (a - b) / t / s }'
  done
  echo
}

(while :; do paplay -d out ${PLAYER_LATENCY_MSEC:+--latency-msec=$PLAYER_LATENCY_MSEC} "$music" || exit; done) &
pids+=($!)
sleep 2
read -r pulse_alone x_alone < <(measure "$pulse" "$xserver")

# Boards 1-4, Pulse/Sweep, TURBO, the first input (the monitor), then START.
cd "$work"
"$build/tools/sonovar-settings/sonovar-settings" Sonovar.SET Delay=0 Decay=3 CyanBias=128 YellowBias=128 RedBias=128 \
  Board1Active=1 Board2Active=1 Board3Active=1 Board4Active=1 Turbo=1 NonTurboDelay=1 InputDevice=0 \
  Effect2Selected=1 "Name=Select File"
DISPLAY=:97 "$build/tools/quorel-sim/quorel-sim" --boards 1,2,3,4 --view none --log "$work/sim.log" -- \
  "$build/sonovar/sonovar" START >"$work/sonovar.out" 2>&1 &
pids+=($!)
sleep 3
sonovar=$(pgrep -f "$build/sonovar/sonovar START" | head -1)
[[ -n "$sonovar" ]] || { echo "window_cpu: sonovar did not start"; cat "$work/sonovar.out"; exit 1; }
read -r son pulse_with x_with < <(measure "$sonovar" "$pulse" "$xserver")
reports=$(wc -l < "$work/sim.log")
# Buffers reach board 1 as groups of four reports: their pace shows whether sound was lost.
pace=$(awk '$2 == 1 { if (n++ % 4 == 0) t[++g] = $1 } END { if (g > 60) printf "%.2f", (t[g] - t[51]) / (g - 51) / 1000 }' "$work/sim.log")

awk -v s="$son" -v pa="$pulse_alone" -v pw="$pulse_with" -v xa="$x_alone" -v xw="$x_with" -v r="$reports" 'BEGIN {
  printf "sonovar                  %5.2f %% of one core\n", s
  printf "sound server             %5.2f %% (%.2f %% without sonovar: +%.2f)\n", pw, pa, pw - pa
  printf "X server                 %5.2f %% (%.2f %% without sonovar: +%.2f)\n", xw, xa, xw - xa
  printf "sum of what sonovar adds %5.2f %%\n", s + (pw - pa) + (xw - xa)
  printf "(%d reports reached the virtual boards)\n", r
}'
echo "one buffer every ${pace:-?} ms on board 1 (23.22 ms when no sound is lost)"
