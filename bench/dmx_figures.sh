#!/bin/bash
# Figures of boards bound to DMX universes, on a private olad:
#   bench/dmx_figures.sh [BUILD_DIR] [SECONDS]
# command-to-DMX latency, creation with no server, and the CPU (per cent of
# one core) of the library's OLA thread, of its whole host process and of
# olad while four bound boards animate waveforms and while they follow the
# demo song in Sonovar (under Xvfb on display :161).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-10}
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tests/dmx/private_olad.sh"
. "$here/tests/dmx/sonovar_show.sh"
start_olad "$build/tests/dmx/ola-peek" 1 2
export OLA_PORT TMPDIR=$OLAD_DIR
chmod 777 "$OLAD_DIR"
hz=$(getconf CLK_TCK)

ticks() {  # /proc/PID/stat or /proc/PID/task/TID/stat -> utime+stime
  awk '{ sub(/.*\) /, ""); print $12 + $13 }' "$1"
}
thread_stat() {  # PID -> the stat file of its quorelctl-ola thread
  grep -l '^quorelctl-ola$' /proc/"$1"/task/*/comm 2>/dev/null | head -1 | sed 's/comm$/stat/'
}
cpu() {  # LABEL PID: CPU over $seconds of the process, its OLA thread and olad
  local pid=$2 olad_pid t a0 b0 c0 a1 b1 c1
  olad_pid=$(cat "$OLAD_DIR/pid")
  t=$(thread_stat "$pid")
  a0=$(ticks /proc/"$pid"/stat) b0=$(ticks "$t") c0=$(ticks /proc/"$olad_pid"/stat)
  sleep "$seconds"
  a1=$(ticks /proc/"$pid"/stat) b1=$(ticks "$t") c1=$(ticks /proc/"$olad_pid"/stat)
  awk -v l="$1" -v a=$((a1 - a0)) -v b=$((b1 - b0)) -v c=$((c1 - c0)) -v s="$seconds" -v hz="$hz" 'BEGIN {
    printf "%s: library thread %.1f %%, whole host %.1f %%, olad %.1f %% (of one core, over %d s)\n",
      l, 100 * b / hz / s, 100 * a / hz / s, 100 * c / hz / s, s }'
}

"$build/bench/dmx_figures" latency
"$build/bench/dmx_figures" create

exec 3< <("$build/bench/dmx_figures" waves $((seconds + 3)))
read -r _ waves_pid <&3
sleep 1
cpu "four boards animating waveforms" "$waves_pid"
while kill -0 "$waves_pid" 2>/dev/null; do sleep 0.2; done

# Sonovar on four bound boards, Pulse/Sweep, the demo song.
start_show "$build" "$(printf '%s 1 %s\n' 1 1 2 33 3 65 4 97)" :161
sleep 3
cpu "four boards following the demo song in Sonovar" "$SHOW_PID"
