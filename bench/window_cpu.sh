#!/usr/bin/env bash
# CPU of the whole program capturing what a sound server plays, with four
# virtual boards active (Pulse/Sweep) and its window on a real X server
# (Xvfb): Sonovar itself, and what it adds to the sound server and to the X
# server, against the same playback without Sonovar. The player runs at its
# default latency and at 25 ms; every round measures the playback alone, then
# each build in turn (their order rotates from round to round), so that
# several builds are compared under the same load. Figures are medians over
# the rounds, the range of Sonovar's own share in brackets.
#   bench/window_cpu.sh [--seconds S] [--rounds N] [--display :N] [--music FILE]
#                       [--capture-latency MS] [[NAME=]BUILD_DIR[:no-window]...]
# (30 s, 3 rounds, display :97, a synthetic song, build/ by default;
# --capture-latency sets PULSE_LATENCY_MSEC for Sonovar alone; a build
# followed by :no-window runs sonovar --no-window instead of the window.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=30
rounds=3
display=:97
music=
capture_latency=
names=()
dirs=()
modes=()
while (($#)); do
  case $1 in
    --seconds) seconds=$2; shift 2; continue ;;
    --rounds) rounds=$2; shift 2; continue ;;
    --display) display=$2; shift 2; continue ;;
    --music) music=$2; shift 2; continue ;;
    --capture-latency) capture_latency=$2; shift 2; continue ;;
    -*) echo "window_cpu: unknown option $1" >&2; exit 2 ;;
  esac
  spec=${1#*=}
  names+=("${1%%=*}")
  shift
  case $spec in
    *:no-window) modes+=(--no-window); dirs+=("$(realpath "${spec%:no-window}")") ;;
    *) modes+=(START); dirs+=("$(realpath "$spec")") ;;
  esac
done
[[ $seconds =~ ^[1-9][0-9]*$ && $rounds =~ ^[1-9][0-9]*$ ]] ||
  { echo "window_cpu: --seconds and --rounds take whole numbers above 0" >&2; exit 2; }
if ((${#dirs[@]} == 0)); then names=(build); dirs=("$root/build"); modes=(START); fi
for dir in "${dirs[@]}"; do
  [[ -x $dir/sonovar/sonovar ]] || { echo "window_cpu: $dir/sonovar/sonovar is not built"; exit 1; }
done
# The instruments (the simulator, the settings encoder) are this tree's,
# whichever builds are measured, so that every build meets the same boards.
for program in tools/quorel-sim/quorel-sim tools/sonovar-settings/sonovar-settings; do
  [[ -x $root/build/$program ]] || { echo "window_cpu: $root/build/$program is not built"; exit 1; }
done
for tool in Xvfb pulseaudio paplay pactl; do
  command -v "$tool" >/dev/null || { echo "window_cpu: $tool is not installed"; exit 1; }
done
work=$(mktemp -d)
pids=()
player=
sim=
cleanup() {
  # The simulator ends Sonovar with itself and removes its folder.
  [[ -z $sim ]] || { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; }
  stop_player
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
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
xserver=$!
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

# Nanoseconds on a CPU of a process's threads so far, exact (from the scheduler;
# clock ticks are sampled, and a program that wakes briefly and often is
# sampled unevenly).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ n += $1 } END { printf "%d", n }'; }
exact() { awk -v a="$1" -v b="$2" -v s="$seconds" 'BEGIN { printf "%.3f", (b - a) / s / 1e7 }'; }
# Clock ticks used by a process since it started (its ended threads included).
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
tick=$(getconf CLK_TCK)
percent() { awk -v a="$2" -v b="$1" -v t="$tick" -v s="$seconds" 'BEGIN { printf "%.3f", 100 * (a - b) / t / s }'; }
# Each thread of a process: id, sleeps so far (each one ends in a wake-up),
# name, and nanoseconds on a CPU so far (exact, from the scheduler).
sleeps() {
  local task
  for task in /proc/"$1"/task/*; do
    awk -v id="${task##*/}" -v ns="$(cut -d' ' -f1 "$task/schedstat" 2>/dev/null)" \
      '/^Name:/ { name = $2 } /^voluntary_ctxt_switches:/ { n = $2 }
      END { print id, n, name, ns + 0 }' "$task/status" 2>/dev/null || true
  done
}

start_player() {  # latency in ms, or "default"
  local option=()
  [[ $1 == default ]] || option=(--latency-msec="$1")
  (while :; do paplay -d out "${option[@]}" "$music" || exit; done) &
  player=$!
  sleep 2
}
stop_player() {
  [[ -n $player ]] || return 0
  local children
  children=$(cat /proc/"$player"/task/*/children 2>/dev/null || true)
  kill "$player" 2>/dev/null || true
  for p in $children; do kill "$p" 2>/dev/null || true; done
  wait "$player" 2>/dev/null || true
  player=
}

# Boards 1-4, Pulse/Sweep, TURBO, the first input (the monitor), then START.
cd "$work"
"$root/build/tools/sonovar-settings/sonovar-settings" Sonovar.SET Delay=0 Decay=3 CyanBias=128 YellowBias=128 \
  RedBias=128 Board1Active=1 Board2Active=1 Board3Active=1 Board4Active=1 Turbo=1 NonTurboDelay=1 InputDevice=0 \
  Effect2Selected=1 "Name=Select File"

results=$work/results   # latency build round own pulse+ x+ ms-per-buffer behind-mean behind-p95 own-exact
wakeups=$work/wakeups   # latency build round thread per-second cpu-percent
: > "$results"
: > "$wakeups"

# How far board 1's buffers come after the earliest the stream's pace allows
# (the first of each buffer's four reports against one buffer every 512 /
# 22050 s): the delay that the capture adds on top of the server's, mean and
# 95th percentile in ms, past the first quarter of the run. "Earliest" is the
# 5th percentile, not the first: one buffer that came unusually early would
# otherwise move every figure of the run.
behind() {
  awk '$2 == 1 && $4 == "40" && $9 == "04" { capturing = 1; next }
    capturing && $2 == 1 && r++ % 4 == 0 { t[n++] = $1 / 1000 }
    END { for (k = int(n / 4); k < n; k++) print t[k] - k * 512 / 22.05 }' "$1" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) { print "0 0"; exit }
      base = v[int(0.05 * NR) + 1]
      for (i = 1; i <= NR; i++) sum += v[i] > base ? v[i] - base : 0
      p = int(0.95 * NR); if (p < 1) p = 1
      printf "%.2f %.2f", sum / NR, v[p] - base }'
}

# One build, one round: Sonovar is the simulator's child, found by the
# simulator's process id, never by its command line.
run_sonovar() {  # latency build-index round pulse-alone x-alone
  local dir=${dirs[$2]} mode=${modes[$2]} son="" p0 x0 s0 p1 x1 s1 r0 r1 n0 n1
  rm -f "$work/sim.log"
  # The simulator's nodes on a memory file system, like a board's device node:
  # on a disk every report would also stamp the FIFO's times.
  (export DISPLAY=$display ${capture_latency:+PULSE_LATENCY_MSEC=$capture_latency}
   [[ -d /dev/shm ]] && export TMPDIR=/dev/shm
   exec "$root/build/tools/quorel-sim/quorel-sim" --boards 1,2,3,4 --view none --log "$work/sim.log" -- \
     "$dir/sonovar/sonovar" "$mode" >"$work/sonovar.out" 2>&1) &
  sim=$!
  for _ in $(seq 100); do
    son=$(cat /proc/"$sim"/task/*/children 2>/dev/null | awk '{print $1}')
    [[ -n $son && $(readlink /proc/"$son"/exe 2>/dev/null) == "$dir/sonovar/sonovar" ]] && break
    son=""
    sleep 0.05
  done
  [[ -n $son ]] || { echo "window_cpu: sonovar did not start"; cat "$work/sonovar.out"; exit 1; }
  sleep 5  # past the start-up work
  sleeps "$son" > "$work/sleeps0"
  n0=$(cpu_ns "$son")
  read -r s0 p0 x0 < <(echo "$(ticks "$son") $(ticks "$pulse") $(ticks "$xserver")")
  r0=$(awk '$2 == 1' "$work/sim.log" | wc -l)
  sleep "$seconds"
  read -r s1 p1 x1 < <(echo "$(ticks "$son") $(ticks "$pulse") $(ticks "$xserver")")
  r1=$(awk '$2 == 1' "$work/sim.log" | wc -l)
  n1=$(cpu_ns "$son")
  sleeps "$son" > "$work/sleeps1"
  kill "$sim"
  wait "$sim" 2>/dev/null || true
  sim=
  local own pw xw
  own=$(percent "$s0" "$s1"); pw=$(percent "$p0" "$p1"); xw=$(percent "$x0" "$x1")
  # Board 1 gets four reports per buffer: 23.22 ms a buffer when no sound is lost.
  echo "$1 $2 $3 $own $(awk -v a="$pw" -v b="$4" 'BEGIN { print a - b }') $(awk -v a="$xw" -v b="$5" 'BEGIN { print a - b }') \
$(awk -v n=$((r1 - r0)) -v s="$seconds" 'BEGIN { printf "%.2f", (n > 0 ? 1000 * s * 4 / n : 0) }') $(behind "$work/sim.log") \
$(exact "$n0" "$n1")" >> "$results"
  awk -v l="$1" -v b="$2" -v r="$3" -v s="$seconds" 'FNR == NR { before[$1] = $2; ns[$1] = $4; next }
    ($1 in before) { n[$3] += $2 - before[$1]; c[$3] += $4 - ns[$1] }
    END { for (t in n) print l, b, r, t, n[t] / s, c[t] / s / 1e7 }' \
    "$work/sleeps0" "$work/sleeps1" >> "$wakeups"
}

# The same capture by the sound server's own recorder, asking for 23 ms as
# Sonovar does: what any such capture costs the server, beside Sonovar's.
run_pacat() {  # latency index round pulse-alone x-alone
  local rec p0 x0 s0 p1 x1 s1 n0 n1
  pacat --record --latency-msec=23 -d out.monitor --format=u8 --rate=11025 --channels=2 >/dev/null 2>&1 &
  rec=$!
  sleep 5
  n0=$(cpu_ns "$rec")
  read -r s0 p0 x0 < <(echo "$(ticks "$rec") $(ticks "$pulse") $(ticks "$xserver")")
  sleep "$seconds"
  read -r s1 p1 x1 < <(echo "$(ticks "$rec") $(ticks "$pulse") $(ticks "$xserver")")
  n1=$(cpu_ns "$rec")
  kill "$rec"
  wait "$rec" 2>/dev/null || true
  local own pw xw
  own=$(percent "$s0" "$s1"); pw=$(percent "$p0" "$p1"); xw=$(percent "$x0" "$x1")
  echo "$1 $2 $3 $own $(awk -v a="$pw" -v b="$4" 'BEGIN { print a - b }') $(awk -v a="$xw" -v b="$5" 'BEGIN { print a - b }') - - - $(exact "$n0" "$n1")" >> "$results"
}
names+=("pacat --record --latency-msec=23")

echo "window_cpu: ${#dirs[@]} build(s) and pacat, $rounds rounds of $seconds s at each player latency; this takes" \
  "about $(( (2 * rounds * (seconds + 2 + ${#dirs[@]} * (seconds + 6)) + 59) / 60 )) minutes"
for latency in default 25; do
  start_player "$latency"
  for round in $(seq "$rounds"); do
    read -r p0 x0 < <(echo "$(ticks "$pulse") $(ticks "$xserver")")
    sleep "$seconds"
    read -r p1 x1 < <(echo "$(ticks "$pulse") $(ticks "$xserver")")
    pulse_alone=$(percent "$p0" "$p1")
    x_alone=$(percent "$x0" "$x1")
    for k in $(seq 0 $((${#dirs[@]} - 1))); do
      run_sonovar "$latency" $(( (k + round - 1) % ${#dirs[@]} )) "$round" "$pulse_alone" "$x_alone"
    done
    run_pacat "$latency" "${#dirs[@]}" "$round" "$pulse_alone" "$x_alone"
  done
  stop_player
done

label() { echo "${names[$1]}, player at $([[ $2 == default ]] && echo "default latency" || echo "$2 ms")"; }
# A column without figures ("-", as pacat's board columns) stays "-".
median() { sort -g | awk '$1 == "-" { dash = 1 } { v[NR] = $1 }
  END { if (dash) print "-"; else printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column() { awk -v l="$1" -v b="$2" -v c="$3" '$1 == l && $2 == b { print $c }' "$results"; }
echo
echo "| Program | own % exact | own % in ticks | sound-server extra % | display extra % | total % | ms per buffer on board 1 | ms behind the pace, mean / p95 |"
echo "|---|---|---|---|---|---|---|---|"
for latency in default 25; do
  for k in "${!names[@]}"; do
    own=$(column "$latency" "$k" 4 | median)
    range=$(column "$latency" "$k" 4 | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f-%.2f", lo, hi }')
    total=$(awk -v l="$latency" -v b="$k" '$1 == l && $2 == b { print $4 + $5 + $6 }' "$results" | median)
    exact_own=$(column "$latency" "$k" 10 | median)
    exact_range=$(column "$latency" "$k" 10 | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f-%.2f", lo, hi }')
    echo "| $(label "$k" "$latency") | $exact_own ($exact_range) | $own ($range) | $(column "$latency" "$k" 5 | median) |" \
      "$(column "$latency" "$k" 6 | median) | $total | $(column "$latency" "$k" 7 | median) |" \
      "$(column "$latency" "$k" 8 | median) / $(column "$latency" "$k" 9 | median) |"
  done
done
echo "(own % exact: the scheduler's time of every thread; in ticks: the kernel's 100 Hz samples, which count a program"
echo " that wakes briefly and often unevenly; total: ticks, since the servers are counted so;"
echo " pacat: the sound server's own recorder of the same monitor at 23 ms, for the server's extra; ms per buffer: 23.22 when no sound is lost; behind the pace: how much later than the earliest the stream allows each buffer reaches board 1, the earliest being the 5th percentile)"
echo
echo "Wake-ups a second and CPU % of each of Sonovar's threads (its sleeps: voluntary context switches;"
echo "its time on a CPU from the scheduler), medians:"
for latency in default 25; do
  for k in "${!dirs[@]}"; do
    printf '  %s:' "$(label "$k" "$latency")"
    for thread in $(awk -v l="$latency" -v b="$k" '$1 == l && $2 == b { print $4 }' "$wakeups" | sort -u); do
      printf ' %s %s (%s %%)' "$thread" "$(awk -v l="$latency" -v b="$k" -v t="$thread" \
        '$1 == l && $2 == b && $4 == t { print $5 }' "$wakeups" | median)" "$(awk -v l="$latency" -v b="$k" \
        -v t="$thread" '$1 == l && $2 == b && $4 == t { print $6 }' "$wakeups" | median)"
    done
    echo
  done
done
