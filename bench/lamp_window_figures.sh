#!/usr/bin/env bash
# Figures of the simulator's lamp window under Xvfb: four boards, each sent
# one "PBA:" command every 23.2 ms (43 a second, ~172 reports a second per
# board). Prints the redraw rate, the lag from a command to the redraw that
# shows it, and the CPU of the simulator and of the X server.
#   bench/lamp_window_figures.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-30}
sim=$build/tools/quorel-sim/quorel-sim
bench=$build/bench/lamp_window_bench
work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A private X server; it writes its display number once it listens.
exec 3<> "$work/displayfd" 
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  display=$(head -1 "$work/displayfd" 2>/dev/null || true)
  [[ -n "$display" ]] && break
  sleep 0.1
done
[[ -n "$display" ]] || { echo "Xvfb did not start: $(cat "$work/xvfb.log")"; exit 1; }
exec 3>&-

ticks() { cut -d' ' -f14,15 "/proc/$1/stat" | awk '{print $1 + $2}'; }
x_before=$(ticks "$xvfb_pid")
start=$(date +%s.%N)
DISPLAY=:$display QUOREL_SIM_PAINT_LOG=$work/paints \
  "$sim" --boards 1,2,3,4 --view window -- "$bench" drive "$seconds" "$work/writes"
end=$(date +%s.%N)
x_after=$(ticks "$xvfb_pid")
"$bench" analyse "$work/writes" "$work/paints"
echo "X server CPU over the whole run ($(echo "$end - $start" | bc | cut -c1-5) s, the idle wait included):" \
  "$((x_after - x_before)) ticks of $(getconf CLK_TCK) per second"
