#!/usr/bin/env bash
# Whether the lights keep step with the sound as it is heard. A click track
# (loud bursts in silence, about 0.7 s apart with jitter) is played on a
# private PulseAudio server; Sonovar, without a window, listens to it and
# drives board 1 of the simulator, whose log is stamped on CLOCK_MONOTONIC.
# For each click, the time from the moment it is heard to the first report
# whose lamps show it: negative when the lights come early.
#   pipe16k, pipe64k  a pipe sink of 16 or 64 KiB drained at the sound's
#                     pace by the speaker (build/tests/support/speaker), which
#                     says when each click is really played; the FIFO's fill
#                     is the sink's latency, and the monitor Sonovar listens
#                     to has each sound one fill before it is played
#   null25, null200   a null sink and the click player at 25 or 200 ms of
#                     buffering: heard when the server says it is played
#   live              a pipe source fed at the sound's pace (a microphone):
#                     heard when it entered the source
# With Pulse on board 1 the lamps are dark in silence and a click lights
# them (blue follows the level; red, when it triggers, takes its place):
# a click's report is the first lit one after a quarter second of dark
# (green is left out: Pulse leaves it lit until the next red). Clicks and
# lights are paired at the one offset that lines up the most of them (the
# jitter makes it unique), so lights half a spacing early are still paired
# with their own click.
#   bench/speaker_timing.sh [--seconds S] [--offset MS] [--keep] [SETTING...]
#     S: seconds of click track a setting (20 by default); all settings by default
#     --offset MS: Sonovar.SET's light offset, when this tree's sonovar-settings has it
#     --keep: leaves the work folder (logs, times) and says where
#     SONOVAR_BUILD=DIR picks the build tree (build/ by default)
# One line a setting ends with "SETTING: N clicks, M paired; heard -> report:
# median X ms, p95 Y ms, min, max", which tests/sonovar/speaker_timing_test.sh reads.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SONOVAR_BUILD:-$root/build}
seconds=20
offset=
keep=0
settings=()
while (($#)); do
  case $1 in
    --seconds) seconds=${2:?--seconds takes a number}; shift 2 ;;
    --offset) offset=${2:?--offset takes milliseconds}; shift 2
      [[ $offset =~ ^-?[0-9]+$ ]] || { echo "speaker_timing: --offset takes whole milliseconds" >&2; exit 2; } ;;
    --keep) keep=1; shift ;;
    pipe16k | pipe64k | null25 | null200 | live) settings+=("$1"); shift ;;
    *) echo "speaker_timing: unknown argument $1 (settings: pipe16k pipe64k null25 null200 live)" >&2; exit 2 ;;
  esac
done
((${#settings[@]})) || settings=(pipe16k pipe64k null25 null200 live)
[[ $seconds =~ ^[0-9]+$ ]] && ((seconds >= 5)) ||
  { echo "speaker_timing: --seconds takes a whole number, 5 or more" >&2; exit 2; }
build=$(cd "$build" && pwd)  # the runs happen in folders of their own
sim=$build/tools/quorel-sim/quorel-sim
sonovar=$build/sonovar/sonovar
settings_tool=$build/tools/sonovar-settings/sonovar-settings
speaker=$build/tests/support/speaker
player=$build/tests/support/click-player
command -v pulseaudio >/dev/null && command -v pactl >/dev/null ||
  { echo "speaker_timing: pulseaudio and pactl are needed" >&2; exit 77; }
for program in "$sim" "$sonovar" "$settings_tool" "$speaker" "$player"; do
  [[ -x $program ]] || { echo "speaker_timing: $program is not built" >&2; exit 1; }
done
# At 44.1 kHz a 16 KiB FIFO holds 93 ms of sound and a 64 KiB one 372 ms;
# the pipe sink keeps them about 70 and 310 ms full (it writes pieces of
# any size, one to a page of the FIFO) and reports that, plus what it holds
# itself, as its latency: about 85 and 320 ms.
rate=44100

work=$(mktemp -d)
pids=()  # what this script started and still runs: the sound server, the simulator, the speaker
stop() {  # PID...: SIGTERM, then SIGKILL after 3 s
  local pid
  for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
  for pid in "$@"; do
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
cleanup() {
  ((${#pids[@]} == 0)) || stop "${pids[@]}"
  if ((keep)); then echo "speaker_timing: the work folder is $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ -n $offset ]]; then
  if "$settings_tool" "$work/probe.SET" "LightOffset=$offset" 2>/dev/null; then
    offset_field=("LightOffset=$offset")
  else
    echo "speaker_timing: --offset is not supported by this tree (sonovar-settings has no LightOffset);" \
      "measuring without it"
    offset_field=()
  fi
else
  offset_field=()
fi

# A private server (as tests/platform/with_pulse_server.sh starts one) with
# the modules given; its folder is $1.
start_server() {  # FOLDER MODULE...
  local folder=$1 module args=()
  shift
  for module in "$@"; do args+=(-L "$module"); done
  export XDG_RUNTIME_DIR=$folder HOME=$folder PULSE_SERVER=unix:$folder/native
  pulseaudio --daemonize=no --exit-idle-time=-1 -n --disable-shm=yes --use-pid-file=no \
    --log-target="file:$folder/server.log" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$folder/native" "${args[@]}" </dev/null >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "speaker_timing: the private PulseAudio server did not start" >&2
  tail -n 5 "$folder/server.log" >&2 || true
  return 1
}

# Pairs two lists of microsecond times (first: the clicks, second: the
# lights or other clicks) at the offset that lines up the most, and prints
# for each click paired the difference in milliseconds.
pair() {  # CLICKS LIGHTS
  awk '
    FNR == NR { s[++n] = $1; next }
    { l[++m] = $1 }
    END {
      for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) {
        x = (l[j] - s[i]) / 1000
        if (x > -1000 && x < 1000) d[++p] = x
      }
      best = -1
      for (a = 1; a <= p; a++) {
        c = 0
        for (b = 1; b <= p; b++) if (d[b] - d[a] < 30 && d[a] - d[b] < 30) c++
        if (c > best) { best = c; at = d[a] }
      }
      if (best < 0) exit
      for (i = 1; i <= n; i++) {
        pick = 0
        for (j = 1; j <= m; j++) {
          x = (l[j] - s[i]) / 1000
          if (used[j] || x - at >= 60 || at - x >= 60) continue
          if (!pick || (x - at) ^ 2 < (bestx - at) ^ 2) { pick = j; bestx = x }
        }
        if (pick) { used[pick] = 1; printf "%.2f\n", bestx }
      }
    }' "$1" "$2"
}

# Board 1's groups of four profile reports (state reports, 40, left out):
# the time of the first report of each group that lights a red or blue lamp
# after a quarter second without one.
lights() {  # LOG
  awk '$2 == 1 && NF == 11 && $4 != "40" {
      if (k % 4 == 0) { if (k) print t, lit; t = $1; lit = 0 }
      for (f = 4; f <= 11; f++) if ((8 * (k % 4) + f - 3) % 3 != 2 && $f != "00") lit = 1
      k++
    }
    END { if (k) print t, lit }' "$1" |
    awk '$2 && (!seen || $1 - last > 250000) { print $1 } $2 { seen = 1; last = $1 }'
}

spread() {  # FILE of numbers: "median X ms, min Y, max Z (N"
  sort -n "$1" | awk '{ d[NR] = $1 } END {
    if (NR) printf "median %.1f ms, min %.1f, max %.1f (%d", d[int((NR + 1) / 2)], d[1], d[NR], NR
    else printf "none (0" }'
}

summary() {  # NAME CLICKS DELAYS
  sort -n "$3" | awk -v name="$1" -v clicks="$(wc -l < "$2")" '{ d[NR] = $1 }
    END {
      if (NR == 0) { printf "%s: %d clicks, 0 paired\n", name, clicks; exit }
      p95 = int(0.95 * NR); if (p95 < 0.95 * NR) p95++
      printf "%s: %d clicks, %d paired; heard -> report: median %.1f ms, p95 %.1f ms, min %.1f ms, max %.1f ms\n",
        name, clicks, NR, d[int((NR + 1) / 2)], d[p95], d[1], d[NR] }'
}

# Sonovar on board 1 under the simulator, Pulse, the first input (the
# server's only source or its only sink's monitor), auto level off so that
# silence stays dark. Returns once its input is open.
start_show() {  # FOLDER EXPECTED-INPUT
  local folder=$1
  (cd "$folder" && "$settings_tool" Sonovar.SET Decay=3 CyanBias=128 YellowBias=128 RedBias=128 Board1Active=1 \
    Turbo=1 NonTurboDelay=1 InputDevice=0 Effect1Selected=1 "Name=Select File" AutoLevel=0 "${offset_field[@]}")
  (cd "$folder" && exec env -u SONOVAR_INPUT_FILE -u DISPLAY -u WAYLAND_DISPLAY "$sim" --boards 1 --view none \
    --log-clock monotonic --log "$folder/board.log" -- timeout -s TERM $((seconds + 30)) "$sonovar" --no-window \
    >"$folder/sonovar.out" 2>&1) &
  pids+=($!)
  for _ in $(seq 100); do
    grep -q "^sonovar: playing" "$folder/sonovar.out" 2>/dev/null && break
    sleep 0.1
  done
  if ! grep -q "^sonovar: playing $2 on board 1 " "$folder/sonovar.out"; then
    echo "speaker_timing: Sonovar did not start on $2:" >&2
    cat "$folder/sonovar.out" >&2
    return 1
  fi
  sleep 1  # the capture's first buffers
}

run() {  # SETTING
  local name=$1 folder=$work/$1 input="Monitor of BenchSpeaker" sink=speaker latency=100 pipe_size=
  mkdir -p "$folder"
  local format="format=s16le rate=$rate channels=2"
  local speaker_sink="module-pipe-sink sink_name=$sink file=$folder/speaker.fifo $format"
  local null_sink="module-null-sink sink_name=$sink $format norewinds=1"
  local description=sink_properties=device.description=BenchSpeaker
  case $name in
    pipe16k) pipe_size=16384; start_server "$folder" "$speaker_sink $description" ;;
    pipe64k) pipe_size=65536; start_server "$folder" "$speaker_sink $description" ;;
    null25) latency=25; start_server "$folder" "$null_sink $description" ;;
    null200) latency=200; start_server "$folder" "$null_sink $description" ;;
    live)
      input=BenchMicrophone
      local microphone="module-pipe-source source_name=microphone file=$folder/microphone.fifo $format"
      start_server "$folder" "$microphone source_properties=device.description=$input"
      ;;
  esac
  if [[ -n $pipe_size ]]; then
    "$speaker" --fifo "$folder/speaker.fifo" --pipe-size "$pipe_size" --rate "$rate" --seconds $((seconds + 60)) \
      --onsets "$folder/heard" --ready "$folder/ready" 2>"$folder/speaker.err" &
    pids+=($!)
    for _ in $(seq 50); do [[ -e $folder/ready ]] && break; sleep 0.1; done
    [[ -e $folder/ready ]] ||
      { echo "speaker_timing: the speaker did not start" >&2; cat "$folder/speaker.err" >&2; return 1; }
  fi
  start_show "$folder" "$input"
  local played=$folder/heard
  [[ -n $pipe_size ]] && played=$folder/claimed
  local where=(--latency-ms "$latency" --sink "$sink")
  [[ $name == live ]] && where=(--pipe "$folder/microphone.fifo")
  timeout $((seconds + 30)) "$player" "${where[@]}" --seconds "$seconds" --rate "$rate" --onsets "$played" \
    2>"$folder/player.err" ||
    { echo "speaker_timing: the click player failed:" >&2; cat "$folder/player.err" >&2; return 1; }
  sleep 1  # the last click's lights
  # The simulator ends Sonovar; the speaker says its figures as it ends.
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  pids=()
  sed 's/^/  /' "$folder/player.err"
  if [[ -n $pipe_size ]]; then
    sed 's/^/  /' "$folder/speaker.err"
    pair "$folder/heard" "$folder/claimed" >"$folder/claims"
    echo "  server's play times against the speaker's: $(spread "$folder/claims") clicks; positive: the server" \
      "says later than heard)"
  fi
  lights "$folder/board.log" >"$folder/lights"
  pair "$folder/heard" "$folder/lights" >"$folder/delays"
  summary "$name" "$folder/heard" "$folder/delays"
}

commit=$(git -C "$root" log -1 --format='%h %s' 2>/dev/null || echo "not in git")
echo "speaker_timing: ${seconds} s of clicks a setting; this tree: $commit"
for setting in "${settings[@]}"; do run "$setting"; done
